#pragma once
// NetConnector: the one place that says how the program's connections are
// made. The program makes one from the user's options and hands it to every
// network component (THttpCli, TFtpClient, TMultipartHttpDownloader and the
// features built on them); the components ask NetDial for "a connection to
// host:port" and never learn whether a proxy or a rate limit sits between.
// A component without a connector (null) connects directly and unlimited.
//
// The path of one connection, bottom up:
//   socket  - a QTcpSocket (a QSslSocket in plain mode where TLS may follow),
//             never Qt's own proxy handling;
//   proxy   - none, or the tunnel of an HTTP proxy (CONNECT) or SOCKS5 proxy
//             (NetDial, proxyhandshake.h);
//   TLS     - started by the component on the tunnel, verified against the
//             name of the site or FTP server, never the proxy's;
//   limit   - the component's reads and writes draw on the connector's
//             upload and download limiters (ratelimiter.h).
//
// Changing the settings holds at once for the limits of running transfers,
// and for the proxy of every connection made from then on.

#include "net/netproxy.h"
#include "net/ratelimiter.h"

#include <QByteArray>
#include <QObject>
#include <optional>

struct NetConnectorSettings {
    enum class ProxyMode {
        None,    // every connection direct
        System,  // the proxy the environment's variables name for each connection
        Fixed,   // `proxy` for every connection
    };
    ProxyMode proxyMode = ProxyMode::None;
    NetProxy proxy;                   // with Fixed
    NetProxyEnvironment environment;  // with System, taken when the settings are made
    qint64 uploadBytesPerSecond = 0;    // 0: no limit
    qint64 downloadBytesPerSecond = 0;  // 0: no limit

    bool operator==(const NetConnectorSettings&) const = default;
};

class NetConnector : public QObject {
    Q_OBJECT
public:
    explicit NetConnector(QObject* parent = nullptr);
    explicit NetConnector(const NetConnectorSettings& settings, QObject* parent = nullptr);

    void Apply(const NetConnectorSettings& settings);
    const NetConnectorSettings& Settings() const { return settings_; }

    // The proxy a connection of `scheme` ("http", "https", "ftp") to `host`
    // goes through; empty: directly.
    std::optional<NetProxy> ProxyFor(const QByteArray& scheme, const QByteArray& host) const;

    NetRateLimiter& UploadLimiter() { return upload_; }
    NetRateLimiter& DownloadLimiter() { return download_; }

    // How long reaching a proxy and passing its handshake may take, in ms:
    // a proxy that accepts and then stays silent ends the connection with
    // a message rather than a hang; shorter than the login's 30-second
    // probe, so that the message is the proxy's.
    int ProxyTimeoutMs = 20000;

Q_SIGNALS:
    void SettingsChanged();

private:
    NetConnectorSettings settings_;
    NetRateLimiter upload_;
    NetRateLimiter download_;
};

// The limiter of a direction, or null without a connector or limit object.
inline NetRateLimiter* UploadLimiterOf(NetConnector* connector) {
    return connector ? &connector->UploadLimiter() : nullptr;
}
inline NetRateLimiter* DownloadLimiterOf(NetConnector* connector) {
    return connector ? &connector->DownloadLimiter() : nullptr;
}

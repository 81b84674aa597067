#pragma once
// NetDial: one connection being made along the path a NetConnector
// configures, up to the point where the socket talks to the target: a plain
// TCP connect to the target, or a connect to the proxy and its handshake
// (HTTP CONNECT or SOCKS5). What comes after (TLS, the protocol, the rate
// limits) is the component's. It reports exactly once: onEstablished, or
// onFailed with a Windows Sockets number and, when a proxy was in the way, a
// message that names it ("代理服务器 127.0.0.1:1080 无法连接：Connection
// refused (Error #10061)"). Going through a proxy is bounded by the
// connector's ProxyTimeoutMs; a direct connect is as the system makes it.
//
// Usage (the component owns the socket; the dial lives as its child):
//     QTcpSocket* socket = NewNetSocket(tls, this);
//     auto* dial = new NetDial(connector, socket, this);
//     dial->onEstablished = [...] { ... };
//     dial->onFailed = [...](int code, const QByteArray& proxyMessage) { ... };
//     dial->Start({"ftp", hostName, address, 21}, localAddress, bindError);

#include "net/netproxy.h"
#include "net/proxyhandshake.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class NetConnector;

// A socket for the path: a QSslSocket (plain until its owner starts TLS)
// when `tlsCapable`, else a QTcpSocket; Qt's own proxy handling is off, as
// the path does its own.
QTcpSocket* NewNetSocket(bool tlsCapable, QObject* parent);

// The proxy a connection of `scheme` to `host` takes with `connector`
// (null: none).
std::optional<NetProxy> PathProxyFor(const NetConnector* connector, const QByteArray& scheme,
                                     const QByteArray& host);

// "代理服务器 host:port 无法连接：reason", or "… 无法连接到 target：reason"
// when the proxy could not reach the target.
QByteArray ProxyFailureMessage(const NetProxy& proxy, const ProxyFailure& failure, const QByteArray& targetLabel);

class NetDial : public QObject {
    Q_OBJECT
public:
    struct Target {
        QByteArray scheme;     // "http", "https", "ftp": which proxy applies
        QByteArray host;       // the name as the component knows it
        QHostAddress address;  // resolved; may be null when the proxy resolves names
        quint16 port = 0;
    };

    NetDial(const NetConnector* connector, QTcpSocket* socket, QObject* parent = nullptr);
    ~NetDial() override;

    // Starts connecting from `local` (null or any address: no bind). False
    // when the bind fails at once; its number is then in `errorCode` and
    // nothing is reported.
    bool Start(const Target& target, const QHostAddress& local, int& errorCode);
    // Nothing more is reported, and the dial leaves the socket alone.
    void Cancel();

    // The proxy in the way; empty for a direct connection.
    const std::optional<NetProxy>& Proxy() const { return proxy_; }
    // Milliseconds for the proxy and its handshake (the connector's).
    int TimeoutMs() const { return timeoutMs_; }

    // The socket now talks to the target. Bytes that arrived with the end of
    // the handshake wait in the socket; a readyRead for them follows from
    // the event loop.
    std::function<void()> onEstablished;
    // `code`: the Windows Sockets number (for a direct connection exactly
    // as the socket reported it, 0 included); `proxyMessage`: the message
    // naming the proxy, empty for a direct connection.
    std::function<void(int code, const QByteArray& proxyMessage)> onFailed;

private:
    void proxyConnected();
    void proxyReadable();
    void socketFailed(QAbstractSocket::SocketError error);
    void timedOut();
    void established();
    void failThroughProxy(const ProxyFailure& failure);
    void finish();
    QByteArray targetLabel() const;

    const NetConnector* connector_ = nullptr;
    QPointer<QTcpSocket> socket_;
    std::optional<NetProxy> proxy_;
    int timeoutMs_ = 20000;
    Target target_;
    std::unique_ptr<Socks5Handshake> socks_;
    std::unique_ptr<HttpConnectHandshake> connect_;
    QByteArray line_;  // the reply line of the HTTP proxy read so far
    QTimer timeout_;
    bool done_ = false;
};

#pragma once
// What the FTP client's control and data connections share: one TCP socket
// whose establishment, failure and close are reported once each, with the
// classic Windows Sockets error numbers, and that can be turned into a TLS
// connection (this side the TLS client, as RFC 4217 has it for both kinds
// of connection) whose certificate is verified before it carries anything.

#include "net/netconnector.h"
#include "net/netdial.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslError>
#include <QTcpSocket>
#include <functional>

// Closes `socket` at once and deletes it once control is back in the event
// loop; nothing that it had queued for itself runs any more.
void DiscardSocket(QTcpSocket* socket);

class FtpSocketLink : public QObject {
    Q_OBJECT
public:
    explicit FtpSocketLink(QObject* parent = nullptr) : QObject(parent) {}

    std::function<void()> onConnected;
    std::function<void(int errorCode)> onConnectFailed;
    // Once per connection that was up; 0 for an orderly close.
    std::function<void(int errorCode)> onClosed;
    // The TLS handshake failed: `code` is TlsError::CertificateRejected or
    // TlsError::HandshakeFailed, `problem` says what went wrong in short
    // words. The connection is gone; onClosed does not follow.
    std::function<void(int code, const QByteArray& problem)> onTlsFailed;

    // The TLS session is established (the peer's certificate verified).
    bool isSecured() const { return secured_; }
    // The session's configuration (with its session ticket once the server
    // sent one), from which further connections resume the session.
    QSslConfiguration tlsSession() const;
    // "TLSv1.3 TLS_AES_256_GCM_SHA384"; empty without TLS.
    QByteArray tlsDescription() const;

    // How outgoing connections are made (proxy, limits); null: directly.
    void setConnector(NetConnector* connector) { connector_ = connector; }
    NetConnector* connector() const { return connector_.data(); }
    // Why the last connect failed when a proxy was in the way: a message
    // that names the proxy; empty after a direct failure.
    const QByteArray& proxyFailure() const { return proxyFailure_; }

protected:
    // Takes `socket` as the link's socket and watches it: a connect that
    // fails gives onConnectFailed, a connection that was up and closes gives
    // onClosed with the last error seen. A QSslSocket stays plain until
    // startTls().
    void watch(QTcpSocket* socket, bool alreadyConnected);
    // Takes `socket` as the link's socket and connects it to `target` along
    // the connector's path; once the socket talks to the target it is
    // watched as above and tcpConnected() runs, otherwise onConnectFailed
    // follows. False when binding to `local` fails at once (the number in
    // `errorCode`; nothing is reported then).
    bool dial(QTcpSocket* socket, const NetDial::Target& target, const QHostAddress& local, int& errorCode);
    // The TCP connection is up; by default raises onConnected.
    virtual void tcpConnected();
    // Starts the TLS handshake as client on the link's socket (a QSslSocket)
    // with `config`, the certificate checked for `peerName`; secured() or
    // onTlsFailed follows. False when there is no such socket.
    bool startTls(const QSslConfiguration& config, const QString& peerName);
    // The handshake is done; by default nothing more.
    virtual void secured() {}
    // Connected and not yet closed.
    bool isUp() const;
    // Closes the socket at once, without notification.
    void dropSocket();
    // Reports the close once and drops the socket.
    void reportClosed(int errorCode);

    QPointer<QTcpSocket> socket_;
    QPointer<NetConnector> connector_;
    QPointer<NetDial> dial_;
    QByteArray proxyFailure_;
    bool up_ = false;  // the connection was established
    bool closeReported_ = false;
    int lastError_ = 0;
    bool tlsPending_ = false;  // handshake started, not finished
    bool secured_ = false;

private:
    void attach(QTcpSocket* socket);
    void reportTlsFailed(const QByteArray& detail);

    QList<QSslError> certificateErrors_;
};

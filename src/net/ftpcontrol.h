#pragma once
// The control connection of the FTP client: one TCP connection that carries
// command lines out and reply bytes in, in plain text or, after "AUTH TLS",
// over TLS. It only moves bytes; the client takes reply lines out of
// parser() and decides what they mean.

#include "net/ftpreplyparser.h"
#include "net/ftpsocketlink.h"
#include "text/errors.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <functional>

// A socket operation that cannot even start (a bad port, a local address
// that cannot be bound). Shown as "ESocketException" in failure texts.
class FtpSocketException : public QxError {
public:
    using QxError::QxError;
    const char* className() const noexcept override { return "ESocketException"; }
};

class FtpControlConnection : public FtpSocketLink {
    Q_OBJECT
public:
    explicit FtpControlConnection(QObject* parent = nullptr);
    ~FtpControlConnection() override;

    // Starts connecting to `target` along the connector's path (directly or
    // through the proxy), from `localAddress` (null or 0.0.0.0: any); raises
    // FtpSocketException when that cannot start. Drops any earlier
    // connection without notification. With `tlsCapable` the connection can
    // later be secured with startTls().
    void connectTo(const NetDial::Target& target, const QHostAddress& localAddress, bool tlsCapable);
    // Starts the TLS handshake (the server has answered "AUTH TLS" with
    // 234); onSecured or onTlsFailed follows. Whatever arrived in plain text
    // after the 234 reply is dropped: nothing from before the handshake may
    // pass for a reply from inside it. False when the connection cannot do
    // TLS.
    bool startTls(const QSslConfiguration& config, const QString& peerName);
    // Connected and not yet closing.
    bool isOpen() const;
    // Sends `line` followed by CR LF; false when the connection is not open.
    bool send(const QByteArray& line);
    // Orderly close after the bytes already sent; onClosed(0) follows, at
    // once or from the event loop.
    void close();
    // Closes at once and reports onClosed(errorCode) before returning.
    void closeWithError(int errorCode);
    // Closes at once without any notification.
    void abort();

    QHostAddress localAddress() const;
    QHostAddress peerAddress() const;
    FtpReplyParser& parser() { return parser_; }

    std::function<void()> onReceived;  // new bytes are in parser()
    std::function<void()> onSecured;   // the TLS handshake is done

protected:
    void tcpConnected() override;
    void secured() override;

private:
    FtpReplyParser parser_;
};

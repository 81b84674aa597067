#pragma once
// The data connection of one FTP transfer: either connected to the address
// of a 227 reply (passive) or accepted on a port this side listens on
// (active, announced with PORT). It moves bytes out, tells when everything
// handed to it has gone to the system, and can end the sending direction so
// that the server reads the end of the file. When the data is protected
// (PROT P) the connection is TLS, this side the client in both modes,
// verified like the control connection and resuming its session.

#include "net/ftpsocketlink.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

class FtpDataConnection : public FtpSocketLink {
    Q_OBJECT
public:
    explicit FtpDataConnection(QObject* parent = nullptr);
    ~FtpDataConnection() override;

    // Whether the next connection is TLS: `session` is the control
    // connection's (its certificate checks and the session to resume), the
    // certificate is checked for `peerName`. Set before listen()/connectTo().
    void setTls(bool enabled, const QSslConfiguration& session = QSslConfiguration(),
                const QString& peerName = QString());

    // Active mode: listens on `address`, on any port when both range ends are
    // 0, otherwise on the first free port from rangeStart to rangeEnd. Raises
    // FtpException: "DataPortRangeEnd must be greater than DataPortRangeStart",
    // "All ports in DataPortRange are in use" or "Data connection winsock bind
    // failed - " + error text. Returns the port.
    quint16 listen(const QHostAddress& address, quint32 rangeStart, quint32 rangeEnd);
    bool isListening() const;

    // Passive mode: starts connecting along the connector's path (directly
    // or through the proxy); onConnected or onConnectFailed follows.
    void connectTo(const NetDial::Target& target);

    // With TLS: starts the handshake on the connected socket; onReady or
    // onTlsFailed follows. The caller starts it once the server has
    // accepted the transfer command (150): servers take bytes that come
    // before it for a broken connection, or only start listening then.
    // False when the handshake cannot start.
    bool startTlsHandshake();

    bool isConnected() const;
    // Hands `data` to the system before returning. True when it took all
    // of it (then no drain report follows by itself); false when some is
    // left, and the drain report follows once that has gone too. Under the
    // connector's upload limit the bytes are held and go out as the limit
    // lets them (false: the drain report follows once they have gone).
    bool writeNow(const char* data, qint64 size);
    // A drain report from the event loop, for a caller that wrote with
    // writeNow and wants its next turn from there.
    void reportDrainedLater() { postDrained(); }
    // Bytes handed to writeNow() that have not yet gone to the system (those
    // the limit holds included).
    qint64 bytesToWrite() const;
    // Shuts down the sending direction (the peer reads end of file); the
    // connection stays open for the peer's close. Over TLS the session is
    // closed (close_notify) and the connection with it; onClosed(0) follows.
    // Bytes the limit still holds go out first. False when not connected.
    bool shutdownSending();
    // Closes at once (and stops listening), without notification.
    void close();

    // onConnected: passive: connected; active: the server's connection was
    // accepted. Then the connection may carry the file (plain: at once,
    // TLS: once the handshake is done):
    std::function<void()> onReady;
    // Everything written has gone to the system:
    std::function<void()> onDrained;
    // Bytes held for the upload limit went to the system:
    std::function<void()> onSent;

protected:
    void tcpConnected() override;
    void secured() override;

private:
    void adopt(QTcpSocket* socket, bool alreadyConnected);
    void hook(QTcpSocket* socket);
    bool writeOut(const char* data, qint64 size);
    void pumpHeld();
    bool shutdownNow();
    void checkDrained();
    void postDrained();
    bool closeTlsKeepingConnection();
    void halfCloseHeld();
    void readHeld();
    void releaseHeld();

    bool tls_ = false;
    QSslConfiguration tlsSession_;
    QString peerName_;
    // The end of a TLS store: the TLS socket, closing after close_notify, and
    // a duplicate of its descriptor on which the connection is half-closed
    // and read to its end.
    QPointer<QTcpSocket> closingTls_;
    int heldDescriptor_ = -1;
    QPointer<QSocketNotifier> heldNotifier_;
    bool writing_ = false;      // inside writeOut(): drain reports wait
    QPointer<QTcpSocket> hooked_;  // the socket whose transfer signals are connected
    QByteArray held_;           // written, waiting for the upload limit
    bool shutdownAfterHeld_ = false;
    bool drainPosted_ = false;  // a drain report is on its way

    QPointer<QTcpServer> server_;
};

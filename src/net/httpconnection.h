#pragma once
// One TCP connection of the HTTP client, plain or TLS: made along the
// connector's path (directly or through its proxy, see NetDial), to the
// resolved addresses of the host one after another, with the server's
// certificate verified for "https" against the site's name (through a proxy
// too), and reported through callbacks. Failures carry Windows Sockets
// numbers and texts. Reads draw on the connector's download limit and
// writes on its upload limit.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QTcpSocket>
#include <functional>

class NetConnector;
class NetDial;
class NetRateLimiter;

class HttpConnection : public QObject {
    Q_OBJECT
public:
    // `peerName` is the host name the certificate must carry ("https").
    // `connector` may be null: direct and unlimited.
    HttpConnection(const QByteArray& protocol, const QByteArray& peerName, quint16 port,
                   const QList<QSslCertificate>& extraCaCertificates, NetConnector* connector = nullptr,
                   QObject* parent = nullptr);
    ~HttpConnection() override;

    // Binds to `localAddr` (empty or "0.0.0.0": any) and starts connecting
    // to the first address. With a proxy that resolves names, `addresses`
    // may be empty: the proxy gets the host name. False when the connect
    // call fails at once; the Windows Sockets number is then in `errorCode`.
    bool Start(const QList<QHostAddress>& addresses, const QByteArray& localAddr, int& errorCode);

    // The connection is established (for TLS: the handshake is done).
    std::function<void()> onConnected;
    // Every address failed: the last failure's number and the text for the
    // reply ("Connection refused (Error #10061)", or the proxy's message).
    std::function<void(int errorCode, const QByteArray& reason)> onConnectFailed;
    std::function<void()> onReadyRead;
    // All bytes handed to Write went out.
    std::function<void()> onAllWritten;
    // The established connection closed: 0 for an orderly close by the
    // peer, otherwise the failure's number. Reported once, and only after
    // the bytes that came before the close could be read.
    std::function<void(int errorCode)> onClosed;

    bool IsOpen() const;
    bool IsEstablished() const { return established_; }
    qint64 BytesAvailable() const;
    // Reads what the download limit lets through now (0 when it lets
    // nothing: onReadyRead follows when it does).
    qint64 Read(char* data, qint64 maxSize);
    void Write(const QByteArray& bytes);
    qint64 BytesToWrite() const;
    // After what was read so far, `bytes` more belong to the response in
    // progress (-1: not known): the download limit does not pay for room
    // that no byte will take any more.
    void ExpectMore(qint64 bytes);

    // Stops all callbacks, then closes: gracefully (pending bytes still go
    // out) or at once.
    void CloseGracefully();
    void Abort();

    const QByteArray& Protocol() const { return protocol_; }
    const QByteArray& PeerName() const { return peerName_; }
    quint16 Port() const { return port_; }
    // The proxy the connection goes through ("socks5h://host:port"); empty
    // for a direct one.
    const QByteArray& Route() const { return route_; }
    // The connection failed at the proxy: the failure's text names it.
    bool FailedAtProxy() const { return failedAtProxy_; }

private:
    int connectNext();  // 0, or the number of a failed bind
    void dialFailed(int code, const QByteArray& proxyMessage);
    void tunnelReady();
    void handleError(QAbstractSocket::SocketError error);
    void connectFailed(int code, QByteArray reason, bool mayTryNext);
    void handleEstablished();
    void peerClosed(int errorCode);
    void reportClosed(int errorCode);
    void pumpRead();
    qint64 chargeArrivals(NetRateLimiter& limit);
    void pumpWrite();
    void applyReadLimit();
    void stopCounting();
    void silence();
    NetRateLimiter* uploadLimit() const;
    NetRateLimiter* downloadLimit() const;

    QByteArray protocol_;
    QByteArray peerName_;
    quint16 port_;
    QList<QSslCertificate> extraCa_;
    QPointer<NetConnector> connector_;
    QList<QHostAddress> addresses_;
    QByteArray localAddr_;
    qsizetype nextAddress_ = 0;
    QPointer<QTcpSocket> socket_;
    QPointer<NetDial> dial_;
    QByteArray route_;
    bool established_ = false;
    bool failedAtProxy_ = false;
    bool counted_ = false;          // counted among the download limit's readers
    bool systemBufferSet_ = false;  // the system's receive buffer was sized here
    bool closedReported_ = false;
    bool closePending_ = false;  // closed, but bytes held back by the limit are still to be read
    int pendingCloseCode_ = 0;
    QByteArray held_;            // bytes written, waiting for the upload limit
    qint64 consumed_ = 0;        // bytes read, under a connector
    qint64 charged_ = 0;         // bytes paid to the download limit: ahead by reads, or on arrival
    qint64 streamEnd_ = -1;      // consumed_ at the end of the response in progress; -1: not known
    QByteArray tlsFailure_;      // the certificate problem that ended the handshake
};

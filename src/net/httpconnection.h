#pragma once
// One TCP connection of the HTTP client, plain or TLS: binds to the local
// address, connects to the resolved addresses of the host one after another,
// verifies the server's certificate for "https", and reports what happens
// through callbacks. Failures carry Windows Sockets numbers and texts.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QTcpSocket>
#include <functional>

class HttpConnection : public QObject {
    Q_OBJECT
public:
    // `peerName` is the host name the certificate must carry ("https").
    HttpConnection(const QByteArray& protocol, const QByteArray& peerName, quint16 port,
                   const QList<QSslCertificate>& extraCaCertificates, QObject* parent = nullptr);
    ~HttpConnection() override;

    // Binds to `localAddr` (empty or "0.0.0.0": any) and starts connecting
    // to the first address. False when the connect call fails at once; the
    // Windows Sockets number is then in `errorCode`.
    bool Start(const QList<QHostAddress>& addresses, const QByteArray& localAddr, int& errorCode);

    // The connection is established (for TLS: the handshake is done).
    std::function<void()> onConnected;
    // Every address failed: the last failure's number and the text for the
    // reply ("Connection refused (Error #10061)").
    std::function<void(int errorCode, const QByteArray& reason)> onConnectFailed;
    std::function<void()> onReadyRead;
    // All bytes handed to Write went out.
    std::function<void()> onAllWritten;
    // The established connection closed: 0 for an orderly close by the
    // peer, otherwise the failure's number. Reported once.
    std::function<void(int errorCode)> onClosed;

    bool IsOpen() const;
    bool IsEstablished() const { return established_; }
    qint64 BytesAvailable() const;
    qint64 Read(char* data, qint64 maxSize);
    void Write(const QByteArray& bytes);
    qint64 BytesToWrite() const;

    // Stops all callbacks, then closes: gracefully (pending bytes still go
    // out) or at once.
    void CloseGracefully();
    void Abort();

    const QByteArray& Protocol() const { return protocol_; }
    const QByteArray& PeerName() const { return peerName_; }
    quint16 Port() const { return port_; }

private:
    int connectNext();  // 0, or the number of a failed bind
    void handleError(QAbstractSocket::SocketError error);
    void handleEstablished();
    void reportClosed(int errorCode);
    void silence();

    QByteArray protocol_;
    QByteArray peerName_;
    quint16 port_;
    QList<QSslCertificate> extraCa_;
    QList<QHostAddress> addresses_;
    QByteArray localAddr_;
    qsizetype nextAddress_ = 0;
    QPointer<QTcpSocket> socket_;
    bool established_ = false;
    bool closedReported_ = false;
    QByteArray tlsFailure_;  // the certificate problem that ended the handshake
};

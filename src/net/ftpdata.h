#pragma once
// The data connection of one FTP transfer: either connected to the address
// of a 227 reply (passive) or accepted on a port this side listens on
// (active, announced with PORT). It moves bytes out, tells when everything
// handed to it has gone to the system, and can end the sending direction so
// that the server reads the end of the file.

#include "net/ftpsocketlink.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

class FtpDataConnection : public FtpSocketLink {
    Q_OBJECT
public:
    explicit FtpDataConnection(QObject* parent = nullptr);
    ~FtpDataConnection() override;

    // Active mode: listens on `address`, on any port when both range ends are
    // 0, otherwise on the first free port from rangeStart to rangeEnd. Raises
    // FtpException: "DataPortRangeEnd must be greater than DataPortRangeStart",
    // "All ports in DataPortRange are in use" or "Data connection winsock bind
    // failed - " + error text. Returns the port.
    quint16 listen(const QHostAddress& address, quint32 rangeStart, quint32 rangeEnd);
    bool isListening() const;

    // Passive mode: starts connecting; onConnected or onConnectFailed follows.
    void connectTo(const QHostAddress& address, quint16 port);

    bool isConnected() const;
    void write(const char* data, qint64 size);
    // Bytes handed to write() that have not yet gone to the system.
    qint64 bytesToWrite() const;
    // Shuts down the sending direction (the peer reads end of file); the
    // connection stays open for the peer's close. False when not connected.
    bool shutdownSending();
    // Closes at once (and stops listening), without notification.
    void close();

    // onConnected: passive: connected; active: the server's connection was
    // accepted. Everything written has gone to the system:
    std::function<void()> onDrained;

private:
    void adopt(QTcpSocket* socket, bool alreadyConnected);

    QPointer<QTcpServer> server_;
};

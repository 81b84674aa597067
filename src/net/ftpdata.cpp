#include "net/ftpdata.h"

#include "net/socketerror.h"
#include "text/errors.h"

#include <sys/socket.h>

FtpDataConnection::FtpDataConnection(QObject* parent) : FtpSocketLink(parent) {}

FtpDataConnection::~FtpDataConnection() { close(); }

quint16 FtpDataConnection::listen(const QHostAddress& address, quint32 rangeStart, quint32 rangeEnd) {
    close();
    auto* server = new QTcpServer(this);
    const auto bindFailed = [server] {
        const QByteArray text = SocketErrorDesc(SocketErrorCode(server->serverError()));
        delete server;
        throw FtpException("Data connection winsock bind failed - " + text);
    };
    if (rangeStart == 0 && rangeEnd == 0) {
        if (!server->listen(address, 0))
            bindFailed();
    } else {
        if (rangeEnd <= rangeStart) {
            delete server;
            throw FtpException("DataPortRangeEnd must be greater than DataPortRangeStart");
        }
        bool listening = false;
        for (quint32 port = rangeStart; port <= rangeEnd && port <= 65535 && !listening; ++port) {
            listening = server->listen(address, quint16(port));
            if (!listening && server->serverError() != QAbstractSocket::AddressInUseError)
                bindFailed();
        }
        if (!listening) {
            delete server;
            throw FtpException("All ports in DataPortRange are in use");
        }
    }
    server_ = server;
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* incoming = server_ ? server_->nextPendingConnection() : nullptr) {
            if (socket_) {
                // Only the first connection carries the transfer.
                incoming->abort();
                incoming->deleteLater();
                continue;
            }
            adopt(incoming, true);
            server_->close();
            if (onConnected)
                onConnected();
        }
    });
    return server->serverPort();
}

bool FtpDataConnection::isListening() const { return server_ && server_->isListening(); }

void FtpDataConnection::connectTo(const QHostAddress& address, quint16 port) {
    dropSocket();
    auto* socket = new QTcpSocket(this);
    adopt(socket, false);
    socket->connectToHost(address, port);
}

void FtpDataConnection::adopt(QTcpSocket* socket, bool alreadyConnected) {
    watch(socket, alreadyConnected);
    // A store receives nothing; whatever a server sends is dropped.
    connect(socket, &QTcpSocket::readyRead, this, [this] { socket_->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (socket_ && socket_->bytesToWrite() == 0 && onDrained)
            onDrained();
    });
}

bool FtpDataConnection::isConnected() const { return isUp(); }

void FtpDataConnection::write(const char* data, qint64 size) {
    if (isConnected())
        socket_->write(data, size);
}

qint64 FtpDataConnection::bytesToWrite() const { return socket_ ? socket_->bytesToWrite() : 0; }

bool FtpDataConnection::shutdownSending() {
    if (!isConnected())
        return false;
    return ::shutdown(int(socket_->socketDescriptor()), SHUT_WR) == 0;
}

void FtpDataConnection::close() {
    closeReported_ = true;
    dropSocket();
    if (server_) {
        QTcpServer* server = server_;
        server_ = nullptr;
        server->disconnect(this);
        server->close();
        server->deleteLater();
    }
}

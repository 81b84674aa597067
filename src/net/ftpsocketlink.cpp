#include "net/ftpsocketlink.h"

#include "net/socketerror.h"

void FtpSocketLink::watch(QTcpSocket* socket, bool alreadyConnected) {
    socket->setParent(this);
    socket_ = socket;
    up_ = alreadyConnected;
    closeReported_ = false;
    lastError_ = 0;
    connect(socket, &QTcpSocket::connected, this, [this] {
        up_ = true;
        if (onConnected)
            onConnected();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        const int code = SocketErrorCode(error);
        if (!up_) {
            dropSocket();
            if (onConnectFailed)
                onConnectFailed(code ? code : WinSock::ConnectionRefused);
            return;
        }
        lastError_ = code;
        if (socket_ && socket_->state() == QAbstractSocket::UnconnectedState)
            reportClosed(lastError_);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (up_)
            reportClosed(lastError_);
    });
}

bool FtpSocketLink::isUp() const {
    return socket_ && up_ && !closeReported_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void FtpSocketLink::dropSocket() {
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void FtpSocketLink::reportClosed(int errorCode) {
    if (closeReported_)
        return;
    closeReported_ = true;
    dropSocket();
    if (onClosed)
        onClosed(errorCode);
}

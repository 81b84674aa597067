#include "net/ftpcontrol.h"

#include "net/socketerror.h"

FtpControlConnection::FtpControlConnection(QObject* parent) : QObject(parent) {}

FtpControlConnection::~FtpControlConnection() { dropSocket(); }

void FtpControlConnection::dropSocket() {
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void FtpControlConnection::connectTo(const QHostAddress& address, quint16 port, const QHostAddress& localAddress) {
    dropSocket();
    parser_.reset();
    up_ = false;
    closeReported_ = false;
    lastError_ = 0;
    auto* socket = new QTcpSocket(this);
    if (!localAddress.isNull() && localAddress != QHostAddress(QHostAddress::AnyIPv4) &&
        !socket->bind(localAddress, 0)) {
        const QByteArray text = SocketErrorDesc(SocketErrorCode(socket->error()));
        delete socket;
        throw FtpSocketException("Cannot bind to " + localAddress.toString().toLatin1() + ": " + text);
    }
    socket_ = socket;
    connect(socket, &QTcpSocket::connected, this, [this] {
        up_ = true;
        if (onConnected)
            onConnected();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        parser_.feed(socket_->readAll());
        if (onReceived)
            onReceived();
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
    socket->connectToHost(address, port);
}

bool FtpControlConnection::isOpen() const {
    return socket_ && up_ && !closeReported_ && socket_->state() == QAbstractSocket::ConnectedState;
}

bool FtpControlConnection::send(const QByteArray& line) {
    if (!isOpen())
        return false;
    socket_->write(line + "\r\n");
    return true;
}

void FtpControlConnection::close() {
    if (!socket_)
        return;
    if (!up_) {
        dropSocket();
        return;
    }
    socket_->disconnectFromHost();
    // An unconnected socket has nothing left to send and may not signal.
    if (socket_ && socket_->state() == QAbstractSocket::UnconnectedState)
        reportClosed(0);
}

void FtpControlConnection::closeWithError(int errorCode) {
    const bool wasUp = socket_ && up_ && !closeReported_;
    dropSocket();
    if (wasUp)
        reportClosed(errorCode);
}

void FtpControlConnection::abort() {
    closeReported_ = true;
    dropSocket();
}

void FtpControlConnection::reportClosed(int errorCode) {
    if (closeReported_)
        return;
    closeReported_ = true;
    dropSocket();
    if (onClosed)
        onClosed(errorCode);
}

QHostAddress FtpControlConnection::localAddress() const {
    return socket_ ? socket_->localAddress() : QHostAddress();
}

QHostAddress FtpControlConnection::peerAddress() const { return socket_ ? socket_->peerAddress() : QHostAddress(); }

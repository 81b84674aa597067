#include "net/ftpcontrol.h"


#include "net/socketerror.h"

#include <QSslSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

FtpControlConnection::FtpControlConnection(QObject* parent) : FtpSocketLink(parent) {}

FtpControlConnection::~FtpControlConnection() { dropSocket(); }

void FtpControlConnection::connectTo(const NetDial::Target& target, const QHostAddress& localAddress,
                                     bool tlsCapable) {
    dropSocket();
    parser_.reset();
    // A QSslSocket carries plain text until its handshake starts.
    QTcpSocket* socket = NewNetSocket(tlsCapable, this);
    int bindError = 0;
    if (!dial(socket, target, localAddress, bindError)) {
        dropSocket();
        throw FtpSocketException("Cannot bind to " + localAddress.toString().toLatin1() + ": " +
                                 SocketErrorDesc(bindError));
    }
}

// Only now that the socket talks to the server are its bytes replies (what
// a proxy answered was the dial's).
void FtpControlConnection::tcpConnected() {
    QTcpSocket* socket = socket_;
    // Commands are single short lines, each answered before the next one
    // goes out: nothing is gained by holding one back for more bytes.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (!socket_)
            return;
        // Each reply is acknowledged at once rather than after the system's
        // delayed-ACK wait: a server that sends "150" and then, the file
        // stored, "226" holds the 226 back (Nagle) until the 150 is
        // acknowledged, which would cost every stored file that wait.
        // Linux forgets the option after each read, so it is set again.
        const int fd = int(socket_->socketDescriptor());
        if (fd >= 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        }
        parser_.feed(socket_->readAll());
        if (onReceived)
            onReceived();
    });
    FtpSocketLink::tcpConnected();
}

bool FtpControlConnection::startTls(const QSslConfiguration& config, const QString& peerName) {
    if (!isOpen())
        return false;
    parser_.reset();
    socket_->readAll();
    return FtpSocketLink::startTls(config, peerName);
}

void FtpControlConnection::secured() {
    if (onSecured)
        onSecured();
}

bool FtpControlConnection::isOpen() const { return isUp(); }

bool FtpControlConnection::send(const QByteArray& line) {
    if (!isOpen())
        return false;
    socket_->write(line + "\r\n");
    // Out now rather than from the event loop's next pass, which may first
    // repaint windows: the server waits for every command. Over TLS this is
    // also needed for the reason FtpDataConnection::write gives.
    socket_->flush();
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

QHostAddress FtpControlConnection::localAddress() const {
    return socket_ ? socket_->localAddress() : QHostAddress();
}

QHostAddress FtpControlConnection::peerAddress() const { return socket_ ? socket_->peerAddress() : QHostAddress(); }

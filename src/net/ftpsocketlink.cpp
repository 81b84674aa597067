#include "net/ftpsocketlink.h"

#include "net/ftptls.h"
#include "net/socketerror.h"

#include <QCoreApplication>
#include <QSslCipher>
#include <QSslSocket>

void FtpSocketLink::watch(QTcpSocket* socket, bool alreadyConnected) {
    socket->setParent(this);
    socket_ = socket;
    up_ = alreadyConnected;
    closeReported_ = false;
    lastError_ = 0;
    tlsPending_ = false;
    secured_ = false;
    certificateErrors_.clear();
    proxyFailure_.clear();
    connect(socket, &QTcpSocket::connected, this, [this] {
        up_ = true;
        tcpConnected();
    });
    attach(socket);
}

bool FtpSocketLink::dial(QTcpSocket* socket, const NetDial::Target& target, const QHostAddress& local,
                         int& errorCode) {
    socket->setParent(this);
    socket_ = socket;
    up_ = false;
    closeReported_ = false;
    lastError_ = 0;
    tlsPending_ = false;
    secured_ = false;
    certificateErrors_.clear();
    proxyFailure_.clear();
    auto* dial = new NetDial(connector_.data(), socket, this);
    dial_ = dial;
    dial->onEstablished = [this, socket] {
        if (socket != socket_)
            return;
        attach(socket);
        up_ = true;
        tcpConnected();
    };
    dial->onFailed = [this, socket](int code, const QByteArray& proxyMessage) {
        if (socket != socket_)
            return;
        proxyFailure_ = proxyMessage;
        dropSocket();
        if (onConnectFailed)
            onConnectFailed(code ? code : WinSock::ConnectionRefused);
    };
    return dial->Start(target, local, errorCode);
}

// The signals of a socket that talks to its peer: failures, the close, TLS.
void FtpSocketLink::attach(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (tlsPending_) {
            reportTlsFailed(error == QAbstractSocket::RemoteHostClosedError
                                ? QByteArray("the server closed the connection during the handshake")
                                : (socket_ ? socket_->errorString().toUtf8() : QByteArray()));
            return;
        }
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
        if (tlsPending_)
            reportTlsFailed("the server closed the connection during the handshake");
        else if (up_)
            reportClosed(lastError_);
    });
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        // Certificate errors are never ignored: the handshake fails after
        // this signal, and its reason is taken from here.
        connect(tls, &QSslSocket::sslErrors, this,
                [this](const QList<QSslError>& errors) { certificateErrors_ = errors; });
        connect(tls, &QSslSocket::encrypted, this, [this] {
            tlsPending_ = false;
            secured_ = true;
            secured();
        });
    }
}

void FtpSocketLink::tcpConnected() {
    if (onConnected)
        onConnected();
}

bool FtpSocketLink::startTls(const QSslConfiguration& config, const QString& peerName) {
    auto* tls = qobject_cast<QSslSocket*>(socket_.data());
    if (!tls || !QSslSocket::supportsSsl())
        return false;
    tls->setSslConfiguration(config);
    tls->setPeerVerifyName(peerName);
    certificateErrors_.clear();
    tlsPending_ = true;
    tls->startClientEncryption();
    return true;
}

void FtpSocketLink::reportTlsFailed(const QByteArray& detail) {
    tlsPending_ = false;
    const bool certificate = !certificateErrors_.isEmpty();
    const int code = certificate ? TlsError::CertificateRejected : TlsError::HandshakeFailed;
    const QByteArray problem = certificate ? FtpCertificateProblems(certificateErrors_) : detail;
    closeReported_ = true;  // the failure is the report
    dropSocket();
    if (onTlsFailed)
        onTlsFailed(code, problem);
}

QSslConfiguration FtpSocketLink::tlsSession() const {
    auto* tls = qobject_cast<QSslSocket*>(socket_.data());
    return tls ? tls->sslConfiguration() : QSslConfiguration();
}

QByteArray FtpSocketLink::tlsDescription() const {
    auto* tls = qobject_cast<QSslSocket*>(socket_.data());
    if (!tls || !secured_)
        return QByteArray();
    const QSslCipher cipher = tls->sessionCipher();
    return (cipher.protocolString() + QLatin1Char(' ') + cipher.name()).toUtf8();
}

bool FtpSocketLink::isUp() const {
    return socket_ && up_ && !closeReported_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void FtpSocketLink::dropSocket() {
    if (dial_) {
        dial_->Cancel();
        dial_->deleteLater();
        dial_ = nullptr;
    }
    if (!socket_)
        return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    socket->disconnect(this);
    DiscardSocket(socket);
}

void DiscardSocket(QTcpSocket* socket) {
    socket->abort();
    // A TLS socket posts itself the encryption of what was written; run
    // after the abort, it would work on the freed TLS session.
    QCoreApplication::removePostedEvents(socket, QEvent::MetaCall);
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

#include "net/httpconnection.h"

#include "net/socketerror.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

HttpConnection::HttpConnection(const QByteArray& protocol, const QByteArray& peerName, quint16 port,
                               const QList<QSslCertificate>& extraCaCertificates, QObject* parent)
    : QObject(parent), protocol_(protocol), peerName_(peerName), port_(port), extraCa_(extraCaCertificates) {}

HttpConnection::~HttpConnection() {
    silence();
    if (socket_)
        socket_->abort();
}

bool HttpConnection::Start(const QList<QHostAddress>& addresses, const QByteArray& localAddr, int& errorCode) {
    addresses_ = addresses;
    localAddr_ = localAddr;
    nextAddress_ = 0;
    if (addresses_.isEmpty()) {
        errorCode = WinSock::AddressNotAvailable;
        return false;
    }
    if (protocol_ == "https" && !QSslSocket::supportsSsl()) {
        errorCode = TlsError::HandshakeFailed;
        return false;
    }
    if (!localAddr_.isEmpty() && localAddr_ != "0.0.0.0" && QHostAddress(QString::fromLatin1(localAddr_)).isNull()) {
        errorCode = WinSock::AddressNotAvailable;
        return false;
    }
    errorCode = connectNext();
    return errorCode == 0;
}

int HttpConnection::connectNext() {
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    const QHostAddress address = addresses_.at(nextAddress_++);
    QTcpSocket* socket = nullptr;
    if (protocol_ == "https") {
        auto* tls = new QSslSocket(this);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        if (!extraCa_.isEmpty())
            config.addCaCertificates(extraCa_);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        tls->setSslConfiguration(config);
        tls->setPeerVerifyName(QString::fromLatin1(peerName_));
        connect(tls, &QSslSocket::encrypted, this, &HttpConnection::handleEstablished);
        connect(tls, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
            // Not ignored: the handshake fails and errorOccurred follows.
            tlsFailure_ = errors.isEmpty() ? QByteArray("certificate rejected") : errors.first().errorString().toUtf8();
        });
        socket = tls;
    } else {
        socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, &HttpConnection::handleEstablished);
    }
    socket_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (established_ && onReadyRead)
            onReadyRead();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (established_ && socket_ && socket_->bytesToWrite() == 0 && onAllWritten)
            onAllWritten();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &HttpConnection::handleError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (established_)
            reportClosed(0);
    });

    if (!localAddr_.isEmpty() && localAddr_ != "0.0.0.0") {
        if (!socket->bind(QHostAddress(QString::fromLatin1(localAddr_)))) {
            const int code = SocketErrorCode(socket->error());
            return code ? code : WinSock::AddressNotAvailable;
        }
    }
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        tls->connectToHostEncrypted(address.toString(), port_, QString::fromLatin1(peerName_));
    else
        socket->connectToHost(address, port_);
    return 0;
}

void HttpConnection::handleEstablished() {
    established_ = true;
    if (onConnected)
        onConnected();
}

void HttpConnection::handleError(QAbstractSocket::SocketError error) {
    if (established_) {
        reportClosed(SocketErrorCode(error));
        return;
    }
    // Still connecting: this address failed.
    int code = SocketErrorCode(error);
    QByteArray reason;
    if (error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError ||
        error == QAbstractSocket::SslInvalidUserDataError) {
        if (!tlsFailure_.isEmpty()) {
            code = TlsError::CertificateRejected;
            reason = "TLS certificate rejected: " + tlsFailure_;
        } else {
            code = TlsError::HandshakeFailed;
            reason = "TLS handshake failed: " + (socket_ ? socket_->errorString().toUtf8() : QByteArray());
        }
        reason += " (Error #" + QByteArray::number(code) + ")";
    } else {
        if (code == 0)
            code = WinSock::ConnectionReset;  // closed before the connection was set up
        reason = SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")";
    }
    const bool certificateProblem = code == TlsError::CertificateRejected;
    if (!certificateProblem && nextAddress_ < addresses_.size()) {
        tlsFailure_.clear();
        const int bindError = connectNext();
        if (bindError == 0)
            return;
        code = bindError;
        reason = "can't connect: " + SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")";
    }
    const auto report = std::move(onConnectFailed);
    silence();
    if (socket_)
        socket_->abort();
    if (report)
        report(code, reason);
}

void HttpConnection::reportClosed(int errorCode) {
    if (closedReported_)
        return;
    closedReported_ = true;
    if (onClosed)
        onClosed(errorCode);
}

void HttpConnection::silence() {
    onConnected = nullptr;
    onConnectFailed = nullptr;
    onReadyRead = nullptr;
    onAllWritten = nullptr;
    onClosed = nullptr;
    if (socket_)
        socket_->disconnect(this);
}

bool HttpConnection::IsOpen() const {
    return established_ && !closedReported_ && socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

qint64 HttpConnection::BytesAvailable() const { return socket_ ? socket_->bytesAvailable() : 0; }

qint64 HttpConnection::Read(char* data, qint64 maxSize) { return socket_ ? socket_->read(data, maxSize) : -1; }

void HttpConnection::Write(const QByteArray& bytes) {
    if (socket_)
        socket_->write(bytes);
}

qint64 HttpConnection::BytesToWrite() const { return socket_ ? socket_->bytesToWrite() : 0; }

void HttpConnection::CloseGracefully() {
    silence();
    QTcpSocket* socket = socket_;
    if (!socket)
        return;
    // The socket outlives this object until its pending bytes went out and
    // it closed; a peer that never takes them cannot keep it for long.
    socket_ = nullptr;
    socket->setParent(nullptr);
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(30000, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}

void HttpConnection::Abort() {
    silence();
    if (socket_)
        socket_->abort();
}

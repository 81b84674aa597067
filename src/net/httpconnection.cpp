#include "net/httpconnection.h"

#include "net/netconnector.h"
#include "net/netdial.h"
#include "net/socketerror.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

HttpConnection::HttpConnection(const QByteArray& protocol, const QByteArray& peerName, quint16 port,
                               const QList<QSslCertificate>& extraCaCertificates, NetConnector* connector,
                               QObject* parent)
    : QObject(parent),
      protocol_(protocol),
      peerName_(peerName),
      port_(port),
      extraCa_(extraCaCertificates),
      connector_(connector) {
    if (connector) {
        connect(&connector->DownloadLimiter(), &NetRateLimiter::RateChanged, this, &HttpConnection::applyReadLimit);
        if (const auto proxy = connector->ProxyFor(protocol_, peerName_))
            route_ = proxy->url();
    }
}

HttpConnection::~HttpConnection() {
    silence();
    if (socket_)
        socket_->abort();
}

NetRateLimiter* HttpConnection::uploadLimit() const { return UploadLimiterOf(connector_.data()); }
NetRateLimiter* HttpConnection::downloadLimit() const { return DownloadLimiterOf(connector_.data()); }

bool HttpConnection::Start(const QList<QHostAddress>& addresses, const QByteArray& localAddr, int& errorCode) {
    addresses_ = addresses;
    localAddr_ = localAddr;
    nextAddress_ = 0;
    // A proxy that resolves names takes the host name instead of addresses.
    if (addresses_.isEmpty() && route_.isEmpty()) {
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
    if (dial_) {
        dial_->Cancel();
        dial_->deleteLater();
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
    }
    const QHostAddress address = nextAddress_ < addresses_.size() ? addresses_.at(nextAddress_) : QHostAddress();
    ++nextAddress_;
    QTcpSocket* socket = NewNetSocket(protocol_ == "https", this);
    socket_ = socket;
    auto* dial = new NetDial(connector_.data(), socket, this);
    dial_ = dial;
    dial->onEstablished = [this] { tunnelReady(); };
    dial->onFailed = [this](int code, const QByteArray& proxyMessage) { dialFailed(code, proxyMessage); };
    const QHostAddress local = localAddr_.isEmpty() || localAddr_ == "0.0.0.0"
                                   ? QHostAddress()
                                   : QHostAddress(QString::fromLatin1(localAddr_));
    int bindError = 0;
    if (!dial->Start(NetDial::Target{protocol_, peerName_, address, port_}, local, bindError))
        return bindError ? bindError : WinSock::AddressNotAvailable;
    return 0;
}

void HttpConnection::dialFailed(int code, const QByteArray& proxyMessage) {
    if (!proxyMessage.isEmpty()) {
        // The proxy is the same for every address: no point in the next one.
        failedAtProxy_ = true;
        connectFailed(code, proxyMessage, false);
        return;
    }
    if (code == 0)
        code = WinSock::ConnectionReset;  // closed before the connection was set up
    connectFailed(code, SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")", true);
}

// The socket talks to the target (directly or through the tunnel): TLS
// starts here, verified for the site's name whatever sits between.
void HttpConnection::tunnelReady() {
    QTcpSocket* socket = socket_;
    if (!socket)
        return;
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (established_)
            pumpRead();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!established_ || !socket_)
            return;
        if (!held_.isEmpty()) {
            pumpWrite();
            return;
        }
        if (socket_->bytesToWrite() == 0 && onAllWritten)
            onAllWritten();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, &HttpConnection::handleError);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (established_)
            peerClosed(0);
    });
    auto* tls = qobject_cast<QSslSocket*>(socket);
    if (!tls) {
        handleEstablished();
        return;
    }
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
    tls->startClientEncryption();
}

void HttpConnection::handleEstablished() {
    established_ = true;
    applyReadLimit();
    if (onConnected)
        onConnected();
}

void HttpConnection::handleError(QAbstractSocket::SocketError error) {
    if (established_) {
        peerClosed(SocketErrorCode(error));
        return;
    }
    // The TLS handshake (or the connection under it) failed.
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
    connectFailed(code, reason, code != TlsError::CertificateRejected);
}

void HttpConnection::connectFailed(int code, QByteArray reason, bool mayTryNext) {
    if (mayTryNext && nextAddress_ < addresses_.size()) {
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

// The peer closed (or the connection broke). Bytes the download limit still
// holds in the socket come first: the close is reported once they are read.
void HttpConnection::peerClosed(int errorCode) {
    NetRateLimiter* limit = downloadLimit();
    if (socket_ && socket_->bytesAvailable() > 0 && limit && limit->Limited()) {
        closePending_ = true;
        pendingCloseCode_ = errorCode;
        return;
    }
    reportClosed(errorCode);
}

void HttpConnection::reportClosed(int errorCode) {
    if (closedReported_)
        return;
    closedReported_ = true;
    closePending_ = false;
    if (onClosed)
        onClosed(errorCode);
}

void HttpConnection::pumpRead() {
    QPointer<HttpConnection> self(this);
    if (onReadyRead && socket_ && socket_->bytesAvailable() > 0)
        onReadyRead();
    if (self.isNull())
        return;
    if (closePending_ && (!socket_ || socket_->bytesAvailable() == 0))
        reportClosed(pendingCloseCode_);
}

// A limited connection keeps a small read buffer, so that the system stops
// taking the server's data when the limit holds it back.
void HttpConnection::applyReadLimit() {
    if (!socket_ || !established_)
        return;
    NetRateLimiter* limit = downloadLimit();
    socket_->setReadBufferSize(limit ? limit->ReadBufferSize() : 0);
    if (limit && !limit->Limited() && socket_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::pumpRead, Qt::QueuedConnection);
}

void HttpConnection::silence() {
    onConnected = nullptr;
    onConnectFailed = nullptr;
    onReadyRead = nullptr;
    onAllWritten = nullptr;
    onClosed = nullptr;
    if (dial_)
        dial_->Cancel();
    if (socket_)
        socket_->disconnect(this);
    if (connector_) {
        connector_->UploadLimiter().CancelWait(this);
        connector_->DownloadLimiter().CancelWait(this);
    }
}

bool HttpConnection::IsOpen() const {
    return established_ && !closedReported_ && !closePending_ && socket_ &&
           socket_->state() == QAbstractSocket::ConnectedState;
}

qint64 HttpConnection::BytesAvailable() const { return socket_ ? socket_->bytesAvailable() : 0; }

qint64 HttpConnection::Read(char* data, qint64 maxSize) {
    if (!socket_)
        return -1;
    NetRateLimiter* limit = downloadLimit();
    if (!limit || !limit->Limited())
        return socket_->read(data, maxSize);
    const qint64 wanted = std::min(maxSize, socket_->bytesAvailable());
    const qint64 granted = limit->Take(wanted);
    if (granted < wanted)
        limit->Wait(this, [this] { pumpRead(); });
    if (granted <= 0)
        return 0;
    const qint64 n = socket_->read(data, granted);
    limit->Return(granted - std::max<qint64>(n, 0));
    return n;
}

void HttpConnection::Write(const QByteArray& bytes) {
    if (!socket_)
        return;
    NetRateLimiter* limit = uploadLimit();
    if (held_.isEmpty() && (!limit || !limit->Limited())) {
        socket_->write(bytes);
        return;
    }
    held_ += bytes;
    pumpWrite();
}

// Bytes held for the upload limit go to the socket as it lets them.
void HttpConnection::pumpWrite() {
    if (!socket_ || held_.isEmpty())
        return;
    NetRateLimiter* limit = uploadLimit();
    const qint64 granted = limit ? limit->Take(held_.size()) : held_.size();
    if (granted > 0) {
        socket_->write(held_.constData(), granted);
        held_.remove(0, granted);
    }
    if (!held_.isEmpty() && limit)
        limit->Wait(this, [this] { pumpWrite(); });
}

qint64 HttpConnection::BytesToWrite() const { return (socket_ ? socket_->bytesToWrite() : 0) + held_.size(); }

void HttpConnection::CloseGracefully() {
    silence();
    QTcpSocket* socket = socket_;
    if (!socket)
        return;
    // Whatever the limit still held goes with the close.
    if (!held_.isEmpty())
        socket->write(std::exchange(held_, {}));
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
    held_.clear();
    if (socket_)
        socket_->abort();
}

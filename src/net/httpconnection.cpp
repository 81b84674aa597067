#include "net/httpconnection.h"

#include "net/netconnector.h"
#include "net/netdial.h"
#include "net/socketerror.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <sys/ioctl.h>

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
        connect(&connector->DownloadLimiter(), &NetRateLimiter::ReadBuffersChanged, this,
                &HttpConnection::applyReadLimit);
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
    if (NetRateLimiter* limit = downloadLimit()) {
        counted_ = true;
        limit->AddReader();  // sizes the buffers anew, this one's included
    }
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
    stopCounting();
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

// A limited connection keeps small buffers, the system's and Qt's, so that
// the system stops taking the server's data soon when the limit holds the
// reader back.
void HttpConnection::applyReadLimit() {
    if (!socket_ || !established_)
        return;
    NetRateLimiter* limit = downloadLimit();
    const qint64 size = limit ? limit->ReadBufferSize() : 0;
    if (size > 0) {
        // Half in Qt's buffer, half in the system's (which gives twice the
        // size asked for: half of that is its bookkeeping).
        socket_->setReadBufferSize(size / 2);
        socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, int(size / 4));
        systemBufferSet_ = true;
        return;
    }
    socket_->setReadBufferSize(0);
    // Once sized here the system no longer sizes the buffer itself: a large
    // one for the rest of an unlimited transfer.
    if (systemBufferSet_)
        socket_->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    if (socket_->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::pumpRead, Qt::QueuedConnection);
}

void HttpConnection::stopCounting() {
    if (!counted_)
        return;
    counted_ = false;
    if (NetRateLimiter* limit = downloadLimit())
        limit->RemoveReader();
}

void HttpConnection::silence() {
    stopCounting();
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

// Under the download limit a read takes tokens for the room it frees: that
// room is what the system takes in next, so the read pays for bytes still to
// come, except those the response does not have any more (ExpectMore): the
// end of a range costs nothing twice. What the system took in beyond what
// was paid (its buffers filling at full speed at the start of a transfer,
// or growing later) is charged when it is seen, at the next read, and may
// leave the limit in debt: the reader then waits, the buffers stay full, and
// the server sees the limit over the whole transfer, its start included.
qint64 HttpConnection::Read(char* data, qint64 maxSize) {
    if (!socket_)
        return -1;
    NetRateLimiter* limit = downloadLimit();
    if (!limit)
        return socket_->read(data, maxSize);
    const qint64 arrived = chargeArrivals(*limit);
    const qint64 wanted = std::min(maxSize, socket_->bytesAvailable());
    const qint64 toCome = streamEnd_ < 0 ? wanted : std::clamp<qint64>(streamEnd_ - arrived, 0, wanted);
    qint64 readable = wanted;
    if (toCome > 0) {
        const qint64 granted = limit->Take(toCome);
        if (granted < toCome)
            limit->Wait(this, [this] { pumpRead(); });
        if (granted <= 0)
            return 0;
        charged_ += granted;
        if (granted < toCome)
            readable = granted;
    }
    const qint64 n = socket_->read(data, readable);
    consumed_ += std::max<qint64>(n, 0);
    return n;
}

void HttpConnection::ExpectMore(qint64 bytes) { streamEnd_ = bytes < 0 ? -1 : consumed_ + bytes; }

// What arrived (read, in Qt's buffers, for TLS also still encrypted, and in
// the system's); what of it was not paid yet is charged.
qint64 HttpConnection::chargeArrivals(NetRateLimiter& limit) {
    qint64 arrived = consumed_ + socket_->bytesAvailable();
    if (auto* tls = qobject_cast<QSslSocket*>(socket_.data()))
        arrived += tls->encryptedBytesAvailable();
    int queued = 0;
    if (::ioctl(int(socket_->socketDescriptor()), FIONREAD, &queued) == 0 && queued > 0)
        arrived += queued;
    if (arrived > charged_) {
        limit.Charge(arrived - charged_);
        charged_ = arrived;
    }
    return arrived;
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

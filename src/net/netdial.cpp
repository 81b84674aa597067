#include "net/netdial.h"

#include "net/netconnector.h"
#include "net/socketerror.h"
#include "text/gbk.h"

#include <QNetworkProxy>
#include <QSslSocket>

QTcpSocket* NewNetSocket(bool tlsCapable, QObject* parent) {
    QTcpSocket* socket = tlsCapable ? new QSslSocket(parent) : new QTcpSocket(parent);
    // The path makes its own tunnels; an application proxy set for the web
    // views must not wrap the program's own connections a second time.
    socket->setProxy(QNetworkProxy::NoProxy);
    return socket;
}

std::optional<NetProxy> PathProxyFor(const NetConnector* connector, const QByteArray& scheme,
                                     const QByteArray& host) {
    if (!connector)
        return std::nullopt;
    return connector->ProxyFor(scheme, host);
}

QByteArray ProxyFailureMessage(const NetProxy& proxy, const ProxyFailure& failure, const QByteArray& targetLabel) {
    if (failure.atTarget)
        return "代理服务器 "_gbk + proxy.label() + " 无法连接到 "_gbk + targetLabel + "："_gbk + failure.reason;
    return "代理服务器 "_gbk + proxy.label() + " 无法连接："_gbk + failure.reason;
}

NetDial::NetDial(const NetConnector* connector, QTcpSocket* socket, QObject* parent)
    : QObject(parent), connector_(connector), socket_(socket) {
    if (connector)
        timeoutMs_ = connector->ProxyTimeoutMs;
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this, &NetDial::timedOut);
}

NetDial::~NetDial() { Cancel(); }

bool NetDial::Start(const Target& target, const QHostAddress& local, int& errorCode) {
    target_ = target;
    proxy_ = PathProxyFor(connector_, target.scheme, target.host.isEmpty() ? target.address.toString().toLatin1()
                                                                            : target.host);
    errorCode = 0;
    if (!local.isNull() && local != QHostAddress(QHostAddress::AnyIPv4) && local != QHostAddress(QHostAddress::Any) &&
        !socket_->bind(local, 0)) {
        errorCode = SocketErrorCode(socket_->error());
        if (errorCode == 0)
            errorCode = WinSock::AddressNotAvailable;
        return false;
    }
    connect(socket_, &QAbstractSocket::errorOccurred, this, &NetDial::socketFailed);
    if (!proxy_) {
        connect(socket_, &QAbstractSocket::connected, this, &NetDial::established);
        if (target.address.isNull())
            socket_->connectToHost(FromGbk(target.host), target.port);
        else
            socket_->connectToHost(target.address, target.port);
        return true;
    }
    if (proxy_->type == NetProxyType::Socks5h || proxy_->type == NetProxyType::Socks5)
        socks_ = std::make_unique<Socks5Handshake>(*proxy_, ProxyTarget{target.host, target.address, target.port});
    else
        connect_ = std::make_unique<HttpConnectHandshake>(*proxy_, ProxyTarget{target.host, target.address, target.port});
    connect(socket_, &QAbstractSocket::connected, this, &NetDial::proxyConnected);
    connect(socket_, &QIODevice::readyRead, this, &NetDial::proxyReadable);
    if (timeoutMs_ > 0)
        timeout_.start(timeoutMs_);
    const QHostAddress proxyAddress(QString::fromLatin1(proxy_->host));
    if (proxyAddress.isNull())
        socket_->connectToHost(QString::fromLatin1(proxy_->host), proxy_->port);  // Qt resolves the proxy's name
    else
        socket_->connectToHost(proxyAddress, proxy_->port);
    return true;
}

void NetDial::Cancel() {
    if (done_)
        return;
    finish();
}

void NetDial::finish() {
    done_ = true;
    timeout_.stop();
    if (socket_)
        socket_->disconnect(this);
}

QByteArray NetDial::targetLabel() const {
    QByteArray host = target_.host.isEmpty() ? target_.address.toString().toLatin1() : target_.host;
    if (host.contains(':'))
        host = "[" + host + "]";
    return host + ":" + QByteArray::number(target_.port);
}

void NetDial::proxyConnected() {
    if (done_ || !socket_)
        return;
    socket_->write(socks_ ? socks_->greeting() : connect_->request());
    socket_->flush();
}

void NetDial::proxyReadable() {
    // Exactly the handshake's bytes are read: a SOCKS reply by its known
    // length, an HTTP reply line by line, one byte at a time (replies are a
    // few hundred bytes). What follows belongs to the connection's user.
    while (!done_ && socket_) {
        if (socks_) {
            const qsizetype needed = socks_->needed();
            if (socket_->bytesAvailable() < needed)
                return;
            QByteArray send;
            const ProxyStep step = socks_->take(socket_->read(needed), send);
            if (step == ProxyStep::Failed) {
                failThroughProxy(socks_->failure());
                return;
            }
            if (!send.isEmpty()) {
                socket_->write(send);
                socket_->flush();
            }
            if (step == ProxyStep::Done) {
                established();
                return;
            }
            continue;
        }
        char byte = 0;
        if (socket_->read(&byte, 1) != 1)
            return;
        line_.append(byte);
        if (byte != '\n') {
            if (line_.size() > HttpConnectHandshake::kMaxLine) {
                failThroughProxy(ProxyFailure{WinSock::ConnectionAborted, "不是 HTTP 代理"_gbk, false});
                return;
            }
            continue;
        }
        const ProxyStep step = connect_->takeLine(std::exchange(line_, {}));
        if (step == ProxyStep::Failed) {
            failThroughProxy(connect_->failure());
            return;
        }
        if (step == ProxyStep::Done) {
            established();
            return;
        }
    }
}

void NetDial::socketFailed(QAbstractSocket::SocketError error) {
    if (done_)
        return;
    const int code = SocketErrorCode(error);
    if (!proxy_) {
        const auto report = onFailed;
        finish();
        if (report)
            report(code, QByteArray());
        return;
    }
    if (error == QAbstractSocket::RemoteHostClosedError || code == 0) {
        failThroughProxy(ProxyFailure{WinSock::ConnectionReset, "连接被代理服务器关闭"_gbk, false});
        return;
    }
    failThroughProxy(ProxyFailure{code, SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")", false});
}

void NetDial::timedOut() {
    if (done_)
        return;
    const int code = WinSock::TimedOut;
    failThroughProxy(ProxyFailure{code, SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")", false});
}

void NetDial::failThroughProxy(const ProxyFailure& failure) {
    const auto report = onFailed;
    const QByteArray message = ProxyFailureMessage(*proxy_, failure, targetLabel());
    finish();
    // The connection to the proxy is of no further use.
    if (socket_)
        socket_->abort();
    if (report)
        report(failure.code, message);
}

void NetDial::established() {
    if (done_)
        return;
    const auto report = onEstablished;
    const QPointer<QTcpSocket> socket = socket_;
    const bool viaProxy = proxy_.has_value();
    finish();
    if (report)
        report();
    // The bytes after the handshake (an FTP greeting that came with the
    // proxy's reply) were announced while the dial was reading: announce
    // them again for the connection's user.
    if (viaProxy && socket) {
        QMetaObject::invokeMethod(
            socket,
            [socket] {
                if (socket->bytesAvailable() > 0)
                    Q_EMIT socket->readyRead();
            },
            Qt::QueuedConnection);
    }
}

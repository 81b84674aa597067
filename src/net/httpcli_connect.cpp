// THttpCli: name lookup, the connection, writing the request and reading
// what arrives.

#include "net/httpcli.h"

#include "net/httpconnection.h"
#include "net/netconnector.h"
#include "net/netdial.h"
#include "net/httprequestwriter.h"
#include "net/httpurl.h"
#include "net/socketerror.h"
#include "text/gbk.h"

namespace {

// Before each read at least this much room is free behind the pending bytes.
constexpr qsizetype MinReadRoom = 8192;
// Reads take up to this much at once: few, large copies for long bodies.
constexpr qsizetype ReadChunk = 256 * 1024;
// Request bodies go out in blocks of this size, one when the previous went out.
constexpr qint64 SendBlock = 8192;

QByteArray errorText(int code) { return SocketErrorDesc(code) + " (Error #" + QByteArray::number(code) + ")"; }

}  // namespace

void THttpCli::startOnTarget() {
    ++serial_;
    phase_ = Phase::None;
    buffer_.Clear();
    responseBytes_ = 0;
    const QByteArray host = HostForLookup(target_.Host);
    const quint16 port = HttpPortNumber(target_.Port, target_.Protocol);
    const std::optional<NetProxy> proxy = PathProxyFor(Connector.data(), target_.Protocol, host);
    resolvedByProxy_ = proxy && proxy->resolvesNames();

    if (connection_) {
        // Bytes that arrived on an idle connection mean it is out of step
        // with its requests: it is not reused. Nor is one that went another
        // way than the proxy settings now say.
        if (connection_->IsOpen() && connection_->BytesAvailable() == 0 && connection_->Protocol() == target_.Protocol &&
            connection_->PeerName() == host && connection_->Port() == port &&
            connection_->Route() == (proxy ? proxy->url() : QByteArray())) {
            reusedConnection_ = true;
            connected();
            return;
        }
        dropConnection();
    }
    reusedConnection_ = false;
    setState(httpNotConnected);
    setState(httpDnsLookup);

    if (host.isEmpty()) {
        statusCode_ = 404;
        reasonPhrase_ = "No host name in URL";
        completeRequest();
        return;
    }
    const quint64 serial = serial_;
    QHostAddress literal;
    const bool isAddress = literal.setAddress(QString::fromLatin1(host));
    if (isAddress || resolvedByProxy_) {
        // An address needs no lookup (a lookup would ask for its name), and
        // a proxy that resolves names gets the name itself.
        QHostInfo info;
        if (isAddress)
            info.setAddresses({literal});
        QMetaObject::invokeMethod(
            this, [this, serial, info] { lookupDone(serial, info); }, Qt::QueuedConnection);
        return;
    }
    lookupId_ = QHostInfo::lookupHost(FromGbk(host), this, SLOT(hostLookedUp(QHostInfo)));
}

void THttpCli::hostLookedUp(const QHostInfo& info) {
    if (info.lookupId() != lookupId_)
        return;  // a lookup abandoned meanwhile
    lookupId_ = -1;
    lookupDone(serial_, info);
}

void THttpCli::lookupDone(quint64 serial, const QHostInfo& info) {
    if (serial != serial_ || state_ != httpDnsLookup)
        return;  // abandoned or replaced meanwhile
    if (!resolvedByProxy_ && (info.error() != QHostInfo::NoError || info.addresses().isEmpty())) {
        const int code = info.error() != QHostInfo::NoError ? HostLookupErrorCode(info.error()) : WinSock::NoData;
        statusCode_ = 404;
        reasonPhrase_ = "can't resolve hostname to IP address";
        connectionClosed(code);
        return;
    }
    setState(httpDnsLookupDone);
    if (target_.Protocol != "http" && target_.Protocol != "https") {
        statusCode_ = 501;
        reasonPhrase_ = "Protocol \"" + target_.Protocol + "\" not implemented";
        connectionClosed(0);
        return;
    }
    connectTo(info.addresses());
}

void THttpCli::connectTo(const QList<QHostAddress>& addresses) {
    const QByteArray host = HostForLookup(target_.Host);
    const quint16 port = HttpPortNumber(target_.Port, target_.Protocol);
    if (port == 0) {
        statusCode_ = 404;
        reasonPhrase_ = "can't connect: " + errorText(WinSock::InvalidArgument);
        connectionClosed(WinSock::InvalidArgument);
        return;
    }
    auto* connection = new HttpConnection(target_.Protocol, host, port, ExtraCaCertificates, Connector.data(), this);
    connection_ = connection;
    connection->onConnected = [this, connection] {
        if (connection == connection_)
            connected();
    };
    connection->onConnectFailed = [this, connection](int code, const QByteArray& reason) {
        if (connection == connection_) {
            proxyFailed_ = connection->FailedAtProxy();
            connectFailed(code, reason);
        }
    };
    connection->onReadyRead = [this, connection] {
        if (connection == connection_)
            readAvailable();
    };
    connection->onAllWritten = [this, connection] {
        if (connection != connection_)
            return;
        lastActivity_.start();
        sendNextBlock();
    };
    connection->onClosed = [this, connection](int code) {
        if (connection == connection_)
            socketClosed(code);
    };
    int error = 0;
    if (!connection->Start(addresses, LocalAddr, error)) {
        dropConnection();
        statusCode_ = 404;
        reasonPhrase_ = error == TlsError::HandshakeFailed
                            ? "can't connect: TLS is not available (Error #" + QByteArray::number(error) + ")"
                            : "can't connect: " + errorText(error);
        connectionClosed(error);
    }
}

void THttpCli::connectFailed(int errorCode, const QByteArray& reason) {
    dropConnection();
    statusCode_ = 404;
    reasonPhrase_ = reason;
    connectionClosed(errorCode);
}

void THttpCli::connected() {
    lastActivity_.start();
    relocationPending_ = false;
    setState(httpConnected);
    setState(httpWaitingHeader);
    phase_ = Phase::Header;
    parser_.Reset(requestVer_);
    writeRequest();
}

void THttpCli::writeRequest() {
    const bool post = method_ == "POST" || method_ == "PUT";
    HttpRequestHead head;
    head.Method = method_;
    head.Target = HttpRequestTarget(target_.Path);
    head.Version = requestVer_;
    head.Accept = Accept;
    head.Agent = Agent;
    head.Host = target_.Host;
    head.Port = target_.Port;
    head.NoCache = NoCache;
    if (post) {
        head.ContentType = ContentTypePost;
        head.ContentLength = SendStream->isSequential() ? SendStream->bytesAvailable()
                                                        : std::max<qint64>(0, SendStream->size() - SendStream->pos());
    }
    head.RangeBegin = ContentRangeBegin;
    head.RangeEnd = ContentRangeEnd;
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
    acceptRanges_.clear();

    connection_->ExpectMore(-1);  // the response's length is not known yet
    connection_->Write(BuildHttpRequestHeader(head));
    sendFinished_ = !post;
    sendNextBlock();
}

void THttpCli::sendNextBlock() {
    if (sendFinished_ || !connection_ || !SendStream)
        return;
    char block[SendBlock];
    const qint64 n = SendStream->read(block, SendBlock);
    if (n <= 0) {
        sendFinished_ = true;
        return;
    }
    sentCount_ += n;
    connection_->Write(QByteArray(block, n));
}

void THttpCli::readAvailable() {
    QPointer<THttpCli> self(this);
    HttpConnection* const connection = connection_;
    while (!self.isNull() && connection && connection == connection_ && connection->BytesAvailable() > 0) {
        char* room = buffer_.PrepareWrite(MinReadRoom, ReadChunk);
        const qint64 n = connection->Read(room, buffer_.FreeSpace());
        if (n <= 0)
            break;
        buffer_.CommitWrite(n);
        responseBytes_ += n;
        lastActivity_.start();
        processPending();
    }
}

void THttpCli::socketClosed(int errorCode) {
    // Bytes that arrived with the close still belong to the response.
    QPointer<THttpCli> self(this);
    HttpConnection* const connection = connection_;
    readAvailable();
    if (self.isNull() || connection != connection_)
        return;
    connectionClosed(errorCode);
}

void THttpCli::dropConnection() {
    if (!connection_)
        return;
    HttpConnection* connection = connection_;
    connection_ = nullptr;
    connection->Abort();
    connection->deleteLater();
}

void THttpCli::closeGracefully() {
    if (connection_) {
        HttpConnection* connection = connection_;
        connection_ = nullptr;
        connection->CloseGracefully();
        connection->deleteLater();
    }
    connectionClosed(0);
}

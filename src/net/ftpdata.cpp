#include "net/ftpdata.h"

#include "net/netconnector.h"
#include "net/socketerror.h"
#include "text/errors.h"

#include <QSslSocket>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Accepts the server's data connection as a socket that can do TLS.
class TlsCapableServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            ::close(int(descriptor));
            return;
        }
        addPendingConnection(socket);
    }
};

}  // namespace

FtpDataConnection::FtpDataConnection(QObject* parent) : FtpSocketLink(parent) {}

FtpDataConnection::~FtpDataConnection() { close(); }

void FtpDataConnection::setTls(bool enabled, const QSslConfiguration& session, const QString& peerName) {
    tls_ = enabled;
    tlsSession_ = session;
    peerName_ = peerName;
}

quint16 FtpDataConnection::listen(const QHostAddress& address, quint32 rangeStart, quint32 rangeEnd) {
    close();
    QTcpServer* server = tls_ ? new TlsCapableServer(this) : new QTcpServer(this);
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
            tcpConnected();
        }
    });
    return server->serverPort();
}

bool FtpDataConnection::isListening() const { return server_ && server_->isListening(); }

void FtpDataConnection::connectTo(const NetDial::Target& target) {
    dropSocket();
    held_.clear();
    shutdownAfterHeld_ = false;
    QTcpSocket* socket = NewNetSocket(tls_, this);
    int bindError = 0;
    dial(socket, target, QHostAddress(), bindError);  // no local address: nothing to bind
}

void FtpDataConnection::tcpConnected() {
    // A dialled socket carries the transfer now; an accepted one was hooked
    // when it was adopted.
    if (socket_ && hooked_ != socket_)
        hook(socket_);
    const QPointer<QTcpSocket> socket = socket_;
    if (onConnected)
        onConnected();
    if (!tls_ && socket && socket == socket_ && onReady)
        onReady();
}

void FtpDataConnection::adopt(QTcpSocket* socket, bool alreadyConnected) {
    watch(socket, alreadyConnected);
    hook(socket);
}

void FtpDataConnection::hook(QTcpSocket* socket) {
    hooked_ = socket;
    // A store receives nothing; whatever a server sends is dropped.
    connect(socket, &QTcpSocket::readyRead, this, [this] { socket_->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, this, &FtpDataConnection::checkDrained);
    // Over TLS, bytesWritten tells that a block was encrypted; it has gone
    // to the system when the encrypted bytes have.
    if (auto* tls = qobject_cast<QSslSocket*>(socket))
        connect(tls, &QSslSocket::encryptedBytesWritten, this, &FtpDataConnection::checkDrained);
}

void FtpDataConnection::checkDrained() {
    // Inside write() the report waits: write() gives it once its flush is
    // done.
    if (writing_ || !socket_ || bytesToWrite() != 0 || !onDrained)
        return;
    if (!tls_) {
        onDrained();
        return;
    }
    postDrained();
}

// The drain report from the event loop, at most one on its way.
void FtpDataConnection::postDrained() {
    if (drainPosted_)
        return;
    drainPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            drainPosted_ = false;
            if (socket_ && bytesToWrite() == 0 && onDrained)
                onDrained();
        },
        Qt::QueuedConnection);
}

bool FtpDataConnection::startTlsHandshake() {
    if (!tls_ || tlsPending_ || secured_)
        return true;
    return isUp() && startTls(tlsSession_, peerName_);
}

void FtpDataConnection::secured() {
    if (onReady)
        onReady();
}

bool FtpDataConnection::isConnected() const { return isUp(); }

bool FtpDataConnection::writeNow(const char* data, qint64 size) {
    if (!isConnected())
        return false;
    NetRateLimiter* limit = UploadLimiterOf(connector());
    if (held_.isEmpty() && (!limit || !limit->Limited()))
        return writeOut(data, size);
    held_.append(data, size);
    pumpHeld();
    return false;
}

// Held bytes go out as the upload limit lets them, each piece at once (the
// event loop's next pass is the limit's own timer). Once the last has gone
// to the system, the drain report follows from the event loop.
void FtpDataConnection::pumpHeld() {
    if (!isConnected() || held_.isEmpty())
        return;
    NetRateLimiter* limit = UploadLimiterOf(connector());
    const qint64 granted = limit ? limit->Take(held_.size()) : held_.size();
    if (granted > 0) {
        const QByteArray piece = held_.left(granted);
        held_.remove(0, granted);
        const bool taken = writeOut(piece.constData(), piece.size());
        if (onSent)
            onSent();
        if (taken && held_.isEmpty() && socket_ && onDrained)
            postDrained();
    }
    if (!held_.isEmpty()) {
        if (limit)
            limit->Wait(this, [this] { pumpHeld(); });
        return;
    }
    if (shutdownAfterHeld_) {
        shutdownAfterHeld_ = false;
        shutdownNow();
    }
}

bool FtpDataConnection::writeOut(const char* data, qint64 size) {
    // A TLS socket is always flushed: it would otherwise encrypt the block
    // later, from an event it posts itself, and Qt 6.4 may then work on a
    // session it has already freed. The drain report of what the system
    // takes here is the caller's to ask for (given here, the next block
    // would be written from inside this one's write); what it does not take
    // reports its drain when it has gone.
    writing_ = true;
    socket_->write(data, size);
    socket_->flush();
    writing_ = false;
    if (!socket_)
        return false;
    return bytesToWrite() == 0;
}

qint64 FtpDataConnection::bytesToWrite() const {
    if (!socket_)
        return 0;
    if (auto* tls = qobject_cast<QSslSocket*>(socket_.data()))
        return tls->bytesToWrite() + tls->encryptedBytesToWrite() + held_.size();
    return socket_->bytesToWrite() + held_.size();
}

bool FtpDataConnection::shutdownSending() {
    if (!isConnected())
        return false;
    if (!held_.isEmpty()) {
        shutdownAfterHeld_ = true;
        return true;
    }
    return shutdownNow();
}

bool FtpDataConnection::shutdownNow() {
    if (!isConnected())
        return false;
    if (tls_)
        return closeTlsKeepingConnection();
    // What Qt still buffers goes to the system before the end of the file.
    socket_->flush();
    return ::shutdown(int(socket_->socketDescriptor()), SHUT_WR) == 0;
}

// TLS has no half-close of its own: close_notify tells the server that the
// file is complete (a bare end of the TCP stream could be a cut), and the TLS
// socket closes its descriptor after sending it. A full close would answer
// whatever the server still sends (its session tickets may come that late)
// with a reset, and a reset makes the server's system drop the part of the
// file the server has not read yet. So the connection lives on in a
// duplicate of the descriptor: once close_notify is out, this side shuts
// down its sending direction there and reads the connection to its end, as
// in plain mode.
bool FtpDataConnection::closeTlsKeepingConnection() {
    QTcpSocket* tls = socket_;
    heldDescriptor_ = ::dup(int(tls->socketDescriptor()));
    if (heldDescriptor_ < 0) {
        tls->disconnectFromHost();  // the close is then reported as the socket's
        return true;
    }
    tls->disconnect(this);
    socket_ = nullptr;
    closingTls_ = tls;
    connect(tls, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState)
            halfCloseHeld();
    });
    tls->disconnectFromHost();
    return true;
}

void FtpDataConnection::halfCloseHeld() {
    if (closingTls_) {
        closingTls_->disconnect(this);
        DiscardSocket(closingTls_);
        closingTls_ = nullptr;
    }
    if (heldDescriptor_ < 0 || heldNotifier_)
        return;
    ::shutdown(heldDescriptor_, SHUT_WR);
    heldNotifier_ = new QSocketNotifier(heldDescriptor_, QSocketNotifier::Read, this);
    connect(heldNotifier_, &QSocketNotifier::activated, this, &FtpDataConnection::readHeld);
    readHeld();
}

// Whatever the server still sends is dropped; its close ends the transfer.
void FtpDataConnection::readHeld() {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(heldDescriptor_, buffer, sizeof buffer);
        if (n > 0)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0 && errno == EINTR)
            continue;
        const int code = n == 0 ? 0 : SocketErrorCodeFromErrno(errno);
        releaseHeld();
        reportClosed(code);
        return;
    }
}

void FtpDataConnection::releaseHeld() {
    if (closingTls_) {
        closingTls_->disconnect(this);
        DiscardSocket(closingTls_);
        closingTls_ = nullptr;
    }
    if (heldNotifier_) {
        heldNotifier_->setEnabled(false);
        heldNotifier_->deleteLater();
        heldNotifier_ = nullptr;
    }
    if (heldDescriptor_ >= 0) {
        ::close(heldDescriptor_);
        heldDescriptor_ = -1;
    }
}

void FtpDataConnection::close() {
    closeReported_ = true;
    held_.clear();
    shutdownAfterHeld_ = false;
    if (connector())
        connector()->UploadLimiter().CancelWait(this);
    releaseHeld();
    dropSocket();
    if (server_) {
        QTcpServer* server = server_;
        server_ = nullptr;
        server->disconnect(this);
        server->close();
        server->deleteLater();
    }
}

#include "support/scriptedftp.h"

#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Hands every accepted connection over as a plain descriptor.
class DescriptorServer : public QTcpServer {
public:
    std::function<void(int)> onDescriptor;

protected:
    void incomingConnection(qintptr fd) override {
        if (onDescriptor)
            onDescriptor(int(fd));
        else
            ::close(int(fd));
    }
};

}  // namespace

ScriptedDataPeer::ScriptedDataPeer(int fd, QObject* parent) : QObject(parent), fd_(fd) {
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readAvailable(); });
}

ScriptedDataPeer::~ScriptedDataPeer() { close(); }

void ScriptedDataPeer::readAvailable() {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            received_.append(buffer, n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n < 0 && errno == EINTR)
            continue;
        // End of file or an error: the client's end is gone.
        notifier_->setEnabled(false);
        atEnd_ = true;
        if (onEnd)
            onEnd(*this);
        return;
    }
}

void ScriptedDataPeer::close() {
    if (fd_ < 0)
        return;
    notifier_->setEnabled(false);
    ::close(fd_);
    fd_ = -1;
}

void ScriptedDataPeer::reset() {
    if (fd_ < 0)
        return;
    linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    close();
}

ScriptedFtpServer::ScriptedFtpServer() {
    auto* listener = new DescriptorServer;
    listener->setParent(this);
    listener->onDescriptor = [this](int fd) { adoptData(fd); };
    listener->listen(QHostAddress::LocalHost, 0);
    passiveListener_ = listener;
    control_.onConnection = [this](ScriptedConnection& connection) {
        parsed_[&connection] = 0;
        dropData();
        activePort_ = 0;
        connection.onData = [this](ScriptedConnection& c) {
            qsizetype& done = parsed_[&c];
            for (;;) {
                const qsizetype end = c.received().indexOf("\r\n", done);
                if (end < 0)
                    return;
                const QByteArray line = c.received().mid(done, end - done);
                done = end + 2;
                handleLine(line);
            }
        };
        const int number = int(control_.connections().size());
        const QByteArray hello = greetingOf.value(number, greeting);
        if (!hello.isEmpty())
            connection.send(hello);
    };
}

ScriptedConnection* ScriptedFtpServer::control() const {
    return control_.connections().isEmpty() ? nullptr : control_.connections().last();
}

void ScriptedFtpServer::send(const QByteArray& bytes) {
    if (ScriptedConnection* c = control())
        c->send(bytes);
}

QList<QByteArray> ScriptedFtpServer::commands() const { return commandsOn(controlConnections()); }

QList<QByteArray> ScriptedFtpServer::commandsOn(int connection) const {
    QList<QByteArray> lines;
    if (connection >= 1 && connection <= controlConnections()) {
        const ScriptedConnection* c = control_.connections().at(connection - 1);
        lines = c->received().split('\n');
        lines.removeLast();  // the part after the last line end
        for (QByteArray& line : lines)
            line.chop(line.endsWith('\r') ? 1 : 0);
    }
    return lines;
}

bool ScriptedFtpServer::waitForCommand(const QByteArray& line, int timeoutMs) const {
    return QTest::qWaitFor([&] { return commands().contains(line); }, timeoutMs);
}

void ScriptedFtpServer::handleLine(const QByteArray& line) {
    const qsizetype space = line.indexOf(' ');
    const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
    const QByteArray argument = space < 0 ? QByteArray() : line.mid(space + 1);
    if (onCommand && onCommand(*this, verb, argument))
        return;
    if (replies.contains(verb)) {
        send(replies.value(verb));
        if (verb == "STOR" && replies.value(verb).startsWith('1'))
            startStore();
        return;
    }
    defaultReply(verb, argument);
}

void ScriptedFtpServer::defaultReply(const QByteArray& verb, const QByteArray& argument) {
    if (verb == "USER") {
        send("331 Password required.\r\n");
    } else if (verb == "PASS") {
        send("230 Logged in.\r\n");
    } else if (verb == "CWD") {
        send("250 Folder changed.\r\n");
    } else if (verb == "TYPE") {
        send("200 Type set.\r\n");
    } else if (verb == "SIZE") {
        send("550 No such file.\r\n");
    } else if (verb == "PASV") {
        dropData();
        activePort_ = 0;
        const quint16 p = passivePort();
        send("227 Entering Passive Mode (127,0,0,1," + QByteArray::number(p >> 8) + "," +
             QByteArray::number(p & 255) + ").\r\n");
    } else if (verb == "PORT") {
        const QList<QByteArray> n = argument.split(',');
        dropData();
        if (n.size() == 6) {
            activeAddress_ = n[0].toUInt() << 24 | n[1].toUInt() << 16 | n[2].toUInt() << 8 | n[3].toUInt();
            activePort_ = quint16(n[4].toUInt() * 256 + n[5].toUInt());
        }
        send("200 PORT command successful.\r\n");
    } else if (verb == "REST") {
        send("350 Restarting at " + argument + ".\r\n");
    } else if (verb == "STOR") {
        // Active mode: connect to the client's port before the reply.
        if (activePort_ != 0 && !data_) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(activePort_);
            address.sin_addr.s_addr = htonl(activeAddress_);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                adoptData(fd);
            else
                ::close(fd);
        }
        send("150 Ok to send data.\r\n");
        startStore();
    } else if (verb == "QUIT") {
        send("221 Goodbye.\r\n");
        if (ScriptedConnection* c = control())
            c->close();
    } else {
        send("502 Command not implemented.\r\n");
    }
}

void ScriptedFtpServer::adoptData(int fd) {
    const bool storeWaiting = storePending_;
    dropData();
    data_ = new ScriptedDataPeer(fd, this);
    if (storeWaiting)
        startStore();
}

void ScriptedFtpServer::dropData() {
    storePending_ = false;
    if (data_)
        data_->deleteLater();
    data_ = nullptr;
}

// The data may already be complete when STOR is handled (passive mode with a
// fast client); otherwise the end arrives later.
void ScriptedFtpServer::startStore() {
    storePending_ = !data_;
    if (!data_)
        return;
    auto finish = [this](ScriptedDataPeer&) {
        if (onStoreEnd) {
            onStoreEnd(*this);
        } else {
            sendFinalReply();
            closeData();
        }
    };
    if (data_->atEnd())
        finish(*data_);
    else
        data_->onEnd = finish;
}

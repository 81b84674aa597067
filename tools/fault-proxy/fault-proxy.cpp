// quellix-fault-proxy: forwards TCP connections from 127.0.0.1 to a real
// server and injects the faults of its plan (see faultplan.h), so that the
// transfer tests and benchmarks meet broken, stalled and slow connections
// with real servers behind them. With --ftp the passive replies of the
// control connection are rewritten, so that data connections pass the proxy
// and meet its faults too.

#include "faultplan.h"
#include "linkshaper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <csignal>
#include <unistd.h>

namespace {

// Bytes waiting to be written before the proxy stops reading the other
// side, so that a slow reader slows the writer instead of filling memory.
constexpr qint64 HighWater = 1 << 20;
constexpr qint64 ChunkSize = 64 * 1024;

void say(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void resetOnClose(QTcpSocket* socket) {
    // A zero linger time makes close() send RST instead of FIN.
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return;
    struct linger off {1, 0};
    ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &off, sizeof off);
}

class Proxy;

// One proxied connection: the client's socket, the server's socket and the
// bytes between them in both directions.
class Link : public QObject {
public:
    Link(Proxy& proxy, QTcpSocket* client, const QString& host, quint16 port, bool data, int number);

private:
    void pump(bool up);
    // Passes bytes read from one side on to the other, at once or, on a
    // shaped link, when their delay and the rate allow.
    void forward(bool up, QByteArray bytes);
    // Writes what a shaped direction may let out now and sets its timer
    // for the rest; closes the far end once a close has come through.
    void flush(bool up);
    // The near end of a direction closed: the far end follows once what
    // it sent has come through.
    void sideGone(bool up);
    bool shaped() const;
    DirectionShaper& shaper(bool up) { return up ? upShaper_ : downShaper_; }
    void fault(bool up);
    void finish();
    void deleteWhenDrained();
    QByteArray rewriteControl(const QByteArray& bytes);
    QByteArray rewritePassiveLine(const QByteArray& line);
    bool faultsHere() const;

    Proxy& proxy_;
    QTcpSocket* client_;
    QTcpSocket* server_;
    bool data_;
    int number_;
    bool connected_ = false;
    bool finished_ = false;
    bool stalled_ = false;
    bool clientGone_ = false;  // the client closed; the server's end closes after its bytes
    bool serverGone_ = false;
    qint64 trickleBudget_ = -1;  // -1: no trickle; else bytes that may pass now
    QTimer trickleTimer_;
    QByteArray lineBuffer_;  // control replies up to their line end
    QByteArray upTail_, downTail_;  // the last counted bytes, for texts split between reads
    qint64 up_ = 0, down_ = 0;
    // The simulated link (--delay, --rate): each direction holds its bytes
    // and lets them out on its timer.
    DirectionShaper upShaper_, downShaper_;
    QTimer upTimer_, downTimer_;
    qint64 acceptedAtMs_ = 0;
    qint64 closeAtMs_[2] = {-1, -1};  // [up]: when the far end's close is due
};

class Proxy : public QObject {
public:
    explicit Proxy(FaultPlan plan) : plan_(std::move(plan)), schedule_(plan_) { clock_.start(); }

    bool listen() {
        connect(&listener_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = listener_.nextPendingConnection())
                new Link(*this, client, plan_.TargetHost, plan_.TargetPort, false, ++connections_);
        });
        return listener_.listen(QHostAddress::LocalHost, plan_.ListenPort);
    }
    quint16 port() const { return listener_.serverPort(); }

    // A listener for one passive data connection to host:port; its port.
    quint16 openDataListener(const QString& host, quint16 port) {
        auto* listener = new QTcpServer(this);
        if (!listener->listen(QHostAddress::LocalHost, 0)) {
            delete listener;
            return 0;
        }
        connect(listener, &QTcpServer::newConnection, this, [this, listener, host, port] {
            if (QTcpSocket* client = listener->nextPendingConnection())
                new Link(*this, client, host, port, true, ++connections_);
            listener->close();
            listener->deleteLater();
        });
        return listener->serverPort();
    }

    const FaultPlan& plan() const { return plan_; }
    FaultSchedule& schedule() { return schedule_; }
    qint64 nowMs() const { return clock_.elapsed(); }
    qint64 totalUp = 0, totalDown = 0;

private:
    FaultPlan plan_;
    FaultSchedule schedule_;
    QTcpServer listener_;
    int connections_ = 0;
    QElapsedTimer clock_;
};

Link::Link(Proxy& proxy, QTcpSocket* client, const QString& host, quint16 port, bool data, int number)
    : QObject(&proxy), proxy_(proxy), client_(client), server_(new QTcpSocket(this)), data_(data), number_(number),
      upShaper_(proxy.plan().DelayMs, proxy.plan().RateBytesPerSecond),
      downShaper_(proxy.plan().DelayMs, proxy.plan().RateBytesPerSecond) {
    acceptedAtMs_ = proxy_.nowMs();
    client_->setParent(this);
    for (bool up : {true, false}) {
        QTimer& timer = up ? upTimer_ : downTimer_;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this, up] { flush(up); });
    }
    client_->setReadBufferSize(HighWater);
    server_->setReadBufferSize(HighWater);
    connect(server_, &QTcpSocket::connected, this, [this] {
        connected_ = true;
        pump(true);
        pump(false);
    });
    connect(client_, &QTcpSocket::readyRead, this, [this] { pump(true); });
    connect(server_, &QTcpSocket::readyRead, this, [this] { pump(false); });
    connect(server_, &QTcpSocket::bytesWritten, this, [this] {
        flush(true);
        pump(true);
    });
    connect(client_, &QTcpSocket::bytesWritten, this, [this] {
        flush(false);
        pump(false);
    });
    // One side gone: what it sent is passed on, then the other side closes
    // (pump closes it once nothing of it is left to forward).
    connect(client_, &QTcpSocket::disconnected, this, [this] {
        clientGone_ = true;
        pump(true);
    });
    connect(server_, &QTcpSocket::disconnected, this, [this] {
        serverGone_ = true;
        pump(false);
    });
    connect(server_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError && !connected_) {
            client_->abort();
            finish();
        }
    });
    trickleTimer_.setInterval(50);
    connect(&trickleTimer_, &QTimer::timeout, this, [this] {
        trickleBudget_ = std::max<qint64>(1, proxy_.plan().Action.BytesPerSecond / 20);
        pump(true);
        pump(false);
    });
    // On a link with a delay the connection reaches the server one way
    // later, and the client may send once the handshake's round trip is
    // over (see forward()).
    if (proxy_.plan().DelayMs > 0)
        QTimer::singleShot(proxy_.plan().DelayMs, this, [this, host, port] { server_->connectToHost(host, port); });
    else
        server_->connectToHost(host, port);
}

bool Link::shaped() const { return proxy_.plan().DelayMs > 0 || proxy_.plan().RateBytesPerSecond > 0; }

void Link::forward(bool up, QByteArray bytes) {
    if (!shaped()) {
        (up ? server_ : client_)->write(bytes);
        return;
    }
    const qint64 now = proxy_.nowMs();
    const qint64 delay = proxy_.plan().DelayMs;
    // A client could not have sent before its SYN went out and the SYN-ACK
    // came back: its bytes leave no earlier than that round trip, plus the
    // way to the server.
    const qint64 release = up ? std::max(now, acceptedAtMs_ + 2 * delay) + delay : now + delay;
    shaper(up).push(std::move(bytes), release);
    flush(up);
}

void Link::sideGone(bool up) {
    if (!shaped()) {
        (up ? server_ : client_)->disconnectFromHost();
        finish();
        return;
    }
    if (closeAtMs_[up] < 0)
        closeAtMs_[up] = proxy_.nowMs() + proxy_.plan().DelayMs;
    flush(up);
}

void Link::flush(bool up) {
    QTcpSocket* to = up ? server_ : client_;
    QTimer& timer = up ? upTimer_ : downTimer_;
    DirectionShaper& held = shaper(up);
    if (to->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 now = proxy_.nowMs();
    const qint64 room = HighWater - to->bytesToWrite();
    if (room > 0) {
        const QByteArray bytes = held.take(now, room);
        if (!bytes.isEmpty())
            to->write(bytes);
    }
    if (held.empty()) {
        if (closeAtMs_[up] >= 0 && !finished_) {
            if (now >= closeAtMs_[up]) {
                to->disconnectFromHost();
                finish();
            } else {
                timer.start(int(closeAtMs_[up] - now));
            }
        }
        return;
    }
    // A full write buffer resumes on bytesWritten instead.
    const qint64 wait = held.wakeIn(now);
    if (wait >= 0 && to->bytesToWrite() < HighWater)
        timer.start(int(wait));
}

bool Link::faultsHere() const {
    const FaultPlan& plan = proxy_.plan();
    return !plan.Ftp || (data_ ? plan.OnData : plan.OnControl);
}

void Link::pump(bool up) {
    QTcpSocket* from = up ? client_ : server_;
    QTcpSocket* to = up ? server_ : client_;
    const bool counted = faultsHere() && (up ? proxy_.plan().CountUp : proxy_.plan().CountDown);
    while (connected_ && !finished_ && !stalled_ && from->bytesAvailable() > 0 &&
           to->bytesToWrite() + shaper(up).heldBytes() < HighWater && to->state() == QAbstractSocket::ConnectedState) {
        qint64 n = std::min(from->bytesAvailable(), ChunkSize);
        if (trickleBudget_ >= 0)
            n = std::min(n, trickleBudget_);
        bool textFault = false;
        if (counted) {
            n = std::min(n, proxy_.schedule().BytesUntilFault());
            const QByteArray text = proxy_.schedule().PendingText();
            if (!text.isEmpty()) {
                // The text may have begun in the bytes forwarded before.
                QByteArray& tail = up ? upTail_ : downTail_;
                const QByteArray window = tail + from->peek(n);
                const qsizetype at = window.indexOf(text, std::max<qsizetype>(0, tail.size() - text.size() + 1));
                if (at >= 0) {
                    n = at + text.size() - tail.size();
                    textFault = true;
                }
            }
        }
        if (n <= 0)
            return;
        QByteArray bytes = from->read(n);
        if (counted) {
            QByteArray& tail = up ? upTail_ : downTail_;
            tail = (tail + bytes).right(256);
        }
        if (trickleBudget_ >= 0)
            trickleBudget_ -= bytes.size();
        (up ? up_ : down_) += bytes.size();
        (up ? proxy_.totalUp : proxy_.totalDown) += bytes.size();
        if (proxy_.plan().Ftp && !data_ && !up)
            bytes = rewriteControl(bytes);
        forward(up, std::move(bytes));
        if (counted) {
            proxy_.schedule().Count(n);
            if (textFault) {
                proxy_.schedule().TextPassed();
                (up ? upTail_ : downTail_).clear();
            }
            if (textFault || proxy_.schedule().BytesUntilFault() == 0) {
                fault(up);
                return;
            }
        }
    }
    if (!finished_ && (up ? clientGone_ : serverGone_) && from->bytesAvailable() == 0)
        sideGone(up);
}

void Link::fault(bool up) {
    FaultSchedule& schedule = proxy_.schedule();
    schedule.Fired();
    const FaultAction& action = proxy_.plan().Action;
    static const char* const names[] = {"cut", "reset", "stall", "trickle"};
    say("FAULT " + QByteArray(names[int(action.Kind)]) + " connection=" + QByteArray::number(number_) +
        (data_ ? " data" : "") + " at=" + QByteArray::number(schedule.Counted()));
    switch (action.Kind) {
    case FaultKind::Cut: {
        // The connection breaks. The end that was sending is reset now; the
        // receiving end gets what was forwarded, then a reset too. Neither
        // may see an orderly close: that ends an FTP upload as if the whole
        // file had arrived, which no client could tell from the real end.
        QTcpSocket* sender = up ? client_ : server_;
        QTcpSocket* receiver = up ? server_ : client_;
        resetOnClose(sender);
        sender->abort();
        const auto breakReceiver = [this, receiver, up] {
            if (receiver->state() != QAbstractSocket::UnconnectedState && receiver->bytesToWrite() == 0 &&
                shaper(up).empty()) {
                resetOnClose(receiver);
                receiver->abort();
            }
        };
        connect(receiver, &QTcpSocket::bytesWritten, this, breakReceiver);
        breakReceiver();
        finish();
        return;
    }
    case FaultKind::Reset:
        resetOnClose(client_);
        resetOnClose(server_);
        client_->abort();
        server_->abort();
        finish();
        return;
    case FaultKind::Stall:
        stalled_ = true;
        QTimer::singleShot(action.DurationMs, this, [this] {
            stalled_ = false;
            pump(true);
            pump(false);
        });
        return;
    case FaultKind::Trickle:
        trickleBudget_ = 0;
        trickleTimer_.start();
        QTimer::singleShot(action.DurationMs, this, [this] {
            trickleTimer_.stop();
            trickleBudget_ = -1;
            pump(true);
            pump(false);
        });
        return;
    }
}

void Link::finish() {
    if (finished_)
        return;
    finished_ = true;
    say("CLOSED connection=" + QByteArray::number(number_) + " up=" + QByteArray::number(up_) +
        " down=" + QByteArray::number(down_) + " total_up=" + QByteArray::number(proxy_.totalUp) +
        " total_down=" + QByteArray::number(proxy_.totalDown));
    // Deleted once both sockets are done writing what they hold.
    deleteWhenDrained();
}

void Link::deleteWhenDrained() {
    QTimer::singleShot(5000, this, [this] {
        if (upShaper_.empty() && downShaper_.empty())
            deleteLater();
        else
            deleteWhenDrained();
    });
}

QByteArray Link::rewriteControl(const QByteArray& bytes) {
    lineBuffer_ += bytes;
    QByteArray out;
    qsizetype end;
    while ((end = lineBuffer_.indexOf('\n')) >= 0) {
        out += rewritePassiveLine(lineBuffer_.left(end + 1));
        lineBuffer_.remove(0, end + 1);
    }
    return out;
}

QByteArray Link::rewritePassiveLine(const QByteArray& line) {
    // "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" and
    // "229 Entering Extended Passive Mode (|||port|)" (RFC 959, RFC 2428):
    // the client is sent to a listener of the proxy that forwards to the
    // address the server named.
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.indexOf(')', open);
    if (open < 0 || close < 0)
        return line;
    const QByteArray inside = line.mid(open + 1, close - open - 1);
    if (line.startsWith("227 ")) {
        const QList<QByteArray> n = inside.split(',');
        if (n.size() != 6)
            return line;
        const QString host = QString::fromLatin1(n[0] + '.' + n[1] + '.' + n[2] + '.' + n[3]);
        const quint16 port = quint16(n[4].trimmed().toUInt() * 256 + n[5].trimmed().toUInt());
        const quint16 local = proxy_.openDataListener(host, port);
        return line.left(open + 1) + "127,0,0,1," + QByteArray::number(local / 256) + "," +
               QByteArray::number(local % 256) + line.mid(close);
    }
    if (line.startsWith("229 ")) {
        const QList<QByteArray> n = inside.split('|');
        if (n.size() != 5)
            return line;
        const quint16 local = proxy_.openDataListener(proxy_.plan().TargetHost, quint16(n[3].toUInt()));
        return line.left(open + 1) + "|||" + QByteArray::number(local) + "|" + line.mid(close);
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    // The proxy goes with the test or script that started it, also when that
    // one is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1)
        return 1;
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.contains(QStringLiteral("--help"))) {
        std::fputs(qPrintable(FaultPlanUsage()), stdout);
        return 0;
    }
    FaultPlan plan;
    QString error;
    if (!ParseFaultPlan(arguments, plan, error)) {
        std::fprintf(stderr, "quellix-fault-proxy: %s\n%s", qPrintable(error), qPrintable(FaultPlanUsage()));
        return 2;
    }
    Proxy proxy(plan);
    if (!proxy.listen()) {
        std::fprintf(stderr, "quellix-fault-proxy: cannot listen\n");
        return 1;
    }
    say("PORT " + QByteArray::number(proxy.port()));
    // When started with a pipe as standard input (as tests start it), the
    // end of that input ends the proxy.
    struct stat in {};
    std::unique_ptr<QSocketNotifier> input;
    if (::fstat(STDIN_FILENO, &in) == 0 && S_ISFIFO(in.st_mode)) {
        input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(input.get(), &QSocketNotifier::activated, &app, [&] {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                app.quit();
        });
    }
    return app.exec();
}

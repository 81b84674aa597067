#pragma once
// The fault plan of the fault-injecting proxy: which bytes count, where the
// faults fall and what they do. A plain class, so the proxy's sockets only
// ask it how far the bytes may go before the next fault.

#include <QList>
#include <QString>
#include <QStringList>
#include <limits>
#include <random>

enum class FaultKind {
    Cut,      // the connection breaks: both ends are reset, the receiving one after what was forwarded
    Reset,    // both ends are reset (RST)
    Stall,    // nothing passes for DurationMs, then the bytes flow again
    Trickle,  // for DurationMs the bytes pass at BytesPerSecond
};

struct FaultAction {
    FaultKind Kind = FaultKind::Cut;
    int DurationMs = 0;
    qint64 BytesPerSecond = 0;
};

struct FaultPlan {
    QString TargetHost;
    quint16 TargetPort = 0;
    quint16 ListenPort = 0;  // 0: a free port, printed as "PORT n"
    QList<qint64> At;        // scripted fault points, in counted bytes
    // Scripted fault points by content: a fault right after the counted
    // bytes of one connection carried this text (each text once, in order).
    QList<QByteArray> AfterTexts;
    qint64 EveryMin = 0;     // random intervals between faults (0: none)
    qint64 EveryMax = 0;
    quint64 Seed = 1;
    int MaxFaults = -1;  // -1: no limit
    FaultAction Action;
    bool CountUp = true;    // client to server bytes count
    bool CountDown = true;  // server to client bytes count
    bool Ftp = false;       // rewrite passive replies so data connections pass the proxy too
    bool OnControl = true;  // with Ftp: faults on the control connection
    bool OnData = true;     // with Ftp: faults on data connections
    // A simulated link: a one-way delay added in each direction (also to
    // the connection's set-up), and a rate cap per connection and direction.
    qint64 DelayMs = 0;
    qint64 RateBytesPerSecond = 0;  // 0: no cap
};

// Reads the command line (without the program name). False with a message
// for bad options.
bool ParseFaultPlan(const QStringList& arguments, FaultPlan& plan, QString& error);
QString FaultPlanUsage();

// Where the next fault falls on the counter of all counted bytes, over all
// connections.
class FaultSchedule {
public:
    explicit FaultSchedule(const FaultPlan& plan);

    // Counted bytes that may still pass before the next fault.
    qint64 BytesUntilFault() const {
        return next_ < 0 ? std::numeric_limits<qint64>::max() : next_ - counted_;
    }
    void Count(qint64 bytes) { counted_ += bytes; }
    // The fault at the current point happened: schedules the next one.
    void Fired();
    int FiredCount() const { return fired_; }
    // The text whose passing causes the next fault, or empty.
    QByteArray PendingText() const;
    void TextPassed() { ++textsPassed_; }
    qint64 Counted() const { return counted_; }

private:
    void scheduleNext();

    const FaultPlan& plan_;
    std::mt19937_64 random_;
    qsizetype scripted_ = 0;
    qint64 counted_ = 0;
    qint64 next_ = -1;
    int fired_ = 0;
    qsizetype textsPassed_ = 0;
};

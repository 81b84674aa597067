#pragma once
// What makes a loopback connection behave like a long or narrow link: each
// direction of a proxied connection holds its bytes until their one-way
// delay has passed, then lets them out no faster than its rate. A plain
// class on a millisecond clock given by the caller, so that the proxy's
// sockets only ask it what may be written now and when to look again.

#include <QByteArray>
#include <deque>

class DirectionShaper {
public:
    // `delayMs`: one-way delay added to every byte; `bytesPerSecond`: the
    // direction's rate, 0 for no limit.
    DirectionShaper(qint64 delayMs, qint64 bytesPerSecond);

    // Bytes that reached the proxy at `nowMs` and may leave it at
    // `releaseAtMs` at the earliest (normally nowMs + delay).
    void push(QByteArray bytes, qint64 releaseAtMs);
    // The bytes that may be written at `nowMs`, at most `limit`, in order.
    QByteArray take(qint64 nowMs, qint64 limit);
    // Milliseconds from `nowMs` until take() gives something; -1 when
    // nothing is held.
    qint64 wakeIn(qint64 nowMs);
    bool empty() const { return queue_.empty(); }
    qint64 heldBytes() const { return held_; }
    qint64 delayMs() const { return delayMs_; }

private:
    void refill(qint64 nowMs);

    struct Held {
        qint64 releaseAtMs;
        QByteArray bytes;
    };
    std::deque<Held> queue_;
    qint64 held_ = 0;
    qint64 delayMs_;
    qint64 rate_;
    // A token bucket holding at most 20 ms of the rate, so that the rate
    // holds over any window longer than that.
    double burst_;
    double tokens_;
    qint64 lastRefillMs_ = -1;
};

#pragma once
// One rate limit for one direction of the whole program: a token bucket that
// every connection of that direction draws from, whatever transfer or byte
// range it carries. Tokens accrue with the time that passed (so a timer that
// fires late loses nothing) up to a small bucket (a tenth of a second of the
// rate), and a connection that finds the bucket empty waits for a timer of
// the event loop, never by sleeping: the thread stays free for windows and
// the other connections. Waiting connections are woken in turn, the first
// woken going to the end of the line, so that they share the rate.
//
// The rate can change at any time; the change holds for the next byte of
// every running transfer, and waiting connections are woken at once.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class NetRateLimiter : public QObject {
    Q_OBJECT
public:
    explicit NetRateLimiter(QObject* parent = nullptr);

    // Bytes per second; 0 (or less): no limit.
    void SetRate(qint64 bytesPerSecond);
    qint64 Rate() const { return rate_; }
    bool Limited() const { return rate_ > 0; }

    // Up to `wanted` bytes may pass now: returns how many (all of them
    // without a limit, 0 when the bucket is empty).
    qint64 Take(qint64 wanted);
    // Gives back bytes taken but not used.
    void Return(qint64 unused);
    // `wake` runs once, from the event loop, when bytes may pass again or
    // the rate changed; not at all once `owner` is gone. A second wait of
    // the same owner replaces the first.
    void Wait(QObject* owner, std::function<void()> wake);
    void CancelWait(QObject* owner);
    bool IsWaiting(const QObject* owner) const;

    // Every byte that passed since the limiter was made.
    qint64 PassedBytes() const { return passed_; }

    // The read buffer a receiving connection keeps under this limit: small
    // enough that a limited connection leaves the rest of the data with the
    // sender (the system's window closes) rather than taking it in at full
    // speed; 0 without a limit.
    qint64 ReadBufferSize() const;

Q_SIGNALS:
    void RateChanged(qint64 bytesPerSecond);

private:
    void refill();
    void schedule();
    void wakeAll();
    double capacity() const;
    double wakeLevel() const;

    qint64 rate_ = 0;
    double tokens_ = 0;
    qint64 passed_ = 0;
    QElapsedTimer clock_;
    qint64 lastRefillNs_ = 0;
    QTimer timer_;
    struct Waiter {
        QPointer<QObject> owner;
        std::function<void()> wake;
    };
    QList<Waiter> waiters_;
};

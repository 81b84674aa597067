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
// Two ways to draw: a sender takes tokens before it hands bytes to the
// system (Take); a receiver cannot stop bytes that the system takes in on
// its own, so it pays for them once they have arrived (Charge, which may
// leave the bucket in debt) and reads on only while the bucket Allows it.
// Either way the bytes are counted where the other side sees them leave.
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
    // Bytes that have passed already (arrived): paid for now, whatever the
    // bucket holds; below zero it is in debt.
    void Charge(qint64 bytes);
    // A receiver may free room for more bytes now: the bucket holds a
    // waking's worth (always without a limit).
    bool Allows();
    // `wake` runs once, from the event loop, when bytes may pass again or
    // the rate changed; not at all once `owner` is gone. A second wait of
    // the same owner replaces the first.
    void Wait(QObject* owner, std::function<void()> wake);
    void CancelWait(QObject* owner);
    bool IsWaiting(const QObject* owner) const;

    // Every byte that passed since the limiter was made.
    qint64 PassedBytes() const { return passed_; }

    // Receiving connections count themselves in while they are open, so
    // that their buffers share the limit (ReadBufferSize).
    void AddReader();
    void RemoveReader();
    int Readers() const { return readers_; }

    // The bytes a receiving connection may hold unread under this limit, in
    // the system's buffer and Qt's together (beyond them the system's window
    // closes and the server waits); 0 without a limit. All readers together
    // hold about a quarter second of the rate: what sits in those buffers
    // has left the server already, so larger buffers let the rate the server
    // sees swing around the limit. (A round trip longer than a quarter
    // second keeps the transfer below the limit.)
    qint64 ReadBufferSize() const;

Q_SIGNALS:
    void RateChanged(qint64 bytesPerSecond);
    // The rate or the number of readers changed: buffers are sized anew.
    void ReadBuffersChanged();

private:
    void refill();
    void schedule();
    void wakeAll();
    double capacity() const;
    double wakeLevel() const;

    qint64 rate_ = 0;
    int readers_ = 0;
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

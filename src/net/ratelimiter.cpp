#include "net/ratelimiter.h"

#include <algorithm>
#include <cmath>

namespace {
// The bucket holds this share of a second of the rate: enough that a timer
// a little late loses nothing, small enough that a burst after a pause stays
// a fraction of the rate.
constexpr double kBucketSeconds = 0.1;
constexpr double kMinBucket = 2048;
// Waiting connections are woken when this share of a second has accrued
// (at least kMinWake bytes): about 50 wakes a second at high rates.
constexpr double kWakeSeconds = 0.02;
constexpr double kMinWake = 1024;
}  // namespace

NetRateLimiter::NetRateLimiter(QObject* parent) : QObject(parent) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &NetRateLimiter::wakeAll);
}

double NetRateLimiter::capacity() const { return std::max(double(rate_) * kBucketSeconds, kMinBucket); }

double NetRateLimiter::wakeLevel() const {
    return std::min(capacity(), std::max(double(rate_) * kWakeSeconds, kMinWake));
}

void NetRateLimiter::SetRate(qint64 bytesPerSecond) {
    const qint64 rate = std::max<qint64>(bytesPerSecond, 0);
    if (rate == rate_)
        return;
    refill();
    const bool wasLimited = rate_ > 0;
    rate_ = rate;
    // A new limit starts with an empty bucket: no burst at the moment it is
    // set. A changed limit keeps what its bucket can still hold.
    tokens_ = wasLimited ? std::min(tokens_, capacity()) : 0;
    lastRefillNs_ = clock_.nsecsElapsed();
    emit RateChanged(rate_);
    emit ReadBuffersChanged();
    // Waiting connections look again at once: without a limit they go on,
    // with another one they wait for its tokens.
    if (!waiters_.isEmpty()) {
        timer_.stop();
        timer_.start(0);
    }
}

void NetRateLimiter::refill() {
    const qint64 now = clock_.nsecsElapsed();
    if (rate_ > 0)
        tokens_ = std::min(capacity(), tokens_ + double(rate_) * double(now - lastRefillNs_) / 1e9);
    lastRefillNs_ = now;
}

qint64 NetRateLimiter::Take(qint64 wanted) {
    if (wanted <= 0)
        return 0;
    if (rate_ <= 0) {
        passed_ += wanted;
        return wanted;
    }
    refill();
    // Crumbs are not handed out: a reader that takes what accrued while it
    // handled its last piece would otherwise loop on a few hundred bytes at
    // a time, without ever giving the event loop back. It waits for a
    // waking's worth instead.
    if (tokens_ < std::min(double(wanted), wakeLevel()))
        return 0;
    const qint64 granted = std::min<qint64>(wanted, qint64(std::floor(tokens_)));
    if (granted <= 0)
        return 0;
    tokens_ -= double(granted);
    passed_ += granted;
    return granted;
}

void NetRateLimiter::Return(qint64 unused) {
    if (unused <= 0)
        return;
    passed_ -= unused;
    if (rate_ > 0)
        tokens_ = std::min(capacity(), tokens_ + double(unused));
}

void NetRateLimiter::Charge(qint64 bytes) {
    if (bytes <= 0)
        return;
    passed_ += bytes;
    if (rate_ <= 0)
        return;
    refill();
    tokens_ -= double(bytes);
}

bool NetRateLimiter::Allows() {
    if (rate_ <= 0)
        return true;
    refill();
    return tokens_ >= wakeLevel();
}

void NetRateLimiter::Wait(QObject* owner, std::function<void()> wake) {
    for (Waiter& waiter : waiters_) {
        if (waiter.owner == owner) {
            waiter.wake = std::move(wake);
            schedule();
            return;
        }
    }
    waiters_.append(Waiter{owner, std::move(wake)});
    schedule();
}

void NetRateLimiter::CancelWait(QObject* owner) {
    waiters_.removeIf([owner](const Waiter& waiter) { return waiter.owner == owner || waiter.owner.isNull(); });
}

bool NetRateLimiter::IsWaiting(const QObject* owner) const {
    return std::any_of(waiters_.begin(), waiters_.end(),
                       [owner](const Waiter& waiter) { return waiter.owner == owner; });
}

void NetRateLimiter::schedule() {
    if (timer_.isActive() || waiters_.isEmpty())
        return;
    if (rate_ <= 0) {
        timer_.start(0);
        return;
    }
    refill();
    const double missing = wakeLevel() - tokens_;
    const int delayMs = missing <= 0 ? 0 : int(std::ceil(missing * 1000.0 / double(rate_)));
    timer_.start(std::max(delayMs, 1));
}

void NetRateLimiter::wakeAll() {
    // Each connection takes what it can; those that find nothing left wait
    // again at the end of the line, behind the ones not woken this time.
    const QList<Waiter> woken = std::exchange(waiters_, {});
    for (const Waiter& waiter : woken) {
        if (waiter.owner.isNull())
            continue;
        if (rate_ > 0) {
            refill();
            if (tokens_ < wakeLevel()) {
                waiters_.append(waiter);
                continue;
            }
        }
        waiter.wake();
    }
    schedule();
}

void NetRateLimiter::AddReader() {
    ++readers_;
    if (rate_ > 0)
        emit ReadBuffersChanged();
}

void NetRateLimiter::RemoveReader() {
    readers_ = std::max(readers_ - 1, 0);
    if (rate_ > 0)
        emit ReadBuffersChanged();
}

qint64 NetRateLimiter::ReadBufferSize() const {
    if (rate_ <= 0)
        return 0;
    // A quarter second of the rate shared by the readers; at least 64 KiB
    // (a TLS record and more, and room for the system's window), at most
    // 8 MiB each.
    return std::clamp<qint64>(rate_ / 4 / std::max(readers_, 1), 64 * 1024, 8 * 1024 * 1024);
}

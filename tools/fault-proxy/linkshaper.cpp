#include "linkshaper.h"

#include <algorithm>
#include <cmath>

DirectionShaper::DirectionShaper(qint64 delayMs, qint64 bytesPerSecond)
    : delayMs_(std::max<qint64>(0, delayMs)), rate_(std::max<qint64>(0, bytesPerSecond)),
      burst_(std::max(1.0, double(rate_) / 50.0)), tokens_(burst_) {}

void DirectionShaper::push(QByteArray bytes, qint64 releaseAtMs) {
    if (bytes.isEmpty())
        return;
    held_ += bytes.size();
    queue_.push_back({releaseAtMs, std::move(bytes)});
}

void DirectionShaper::refill(qint64 nowMs) {
    if (lastRefillMs_ >= 0 && nowMs > lastRefillMs_)
        tokens_ = std::min(burst_, tokens_ + double(nowMs - lastRefillMs_) * double(rate_) / 1000.0);
    lastRefillMs_ = std::max(lastRefillMs_, nowMs);
}

QByteArray DirectionShaper::take(qint64 nowMs, qint64 limit) {
    if (rate_ > 0)
        refill(nowMs);
    QByteArray out;
    while (!queue_.empty() && queue_.front().releaseAtMs <= nowMs && limit > 0) {
        qint64 n = std::min<qint64>(queue_.front().bytes.size(), limit);
        if (rate_ > 0)
            n = std::min<qint64>(n, qint64(std::floor(tokens_)));
        if (n <= 0)
            break;
        Held& front = queue_.front();
        out += front.bytes.left(n);
        if (n == front.bytes.size())
            queue_.pop_front();
        else
            front.bytes.remove(0, n);
        held_ -= n;
        limit -= n;
        if (rate_ > 0)
            tokens_ -= double(n);
    }
    return out;
}

qint64 DirectionShaper::wakeIn(qint64 nowMs) {
    if (queue_.empty())
        return -1;
    qint64 wait = std::max<qint64>(0, queue_.front().releaseAtMs - nowMs);
    if (rate_ > 0) {
        refill(nowMs);
        // Wait for a useful amount: the front's bytes or half a bucket, so
        // that a timer firing late does not lose what the bucket would
        // have held beyond its size.
        const double want = std::min(burst_ / 2.0, double(queue_.front().bytes.size()));
        if (tokens_ < want)
            wait = std::max(wait, qint64(std::ceil((want - tokens_) * 1000.0 / double(rate_))));
    }
    return wait;
}

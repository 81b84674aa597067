#include "net/downloadstats.h"

#include <chrono>

quint32 MillisecondTick() {
    // The monotonic clock's milliseconds, cut to 32 bits like the tick
    // counter the statistics were defined with.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return quint32(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

double KilobitsPerSecond(qint64 bytes, qint64 milliseconds, double previous) {
    if (milliseconds <= 0)
        return previous;
    return double(bytes) * 8.0 / double(milliseconds);
}

double PercentOf(qint64 count, qint64 total) {
    if (total <= 0)
        return 0.0;
    return double(count) * 100.0 / double(total);
}

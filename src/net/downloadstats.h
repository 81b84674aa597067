#pragma once
// The arithmetic of the downloader's statistics: rates, percentages and the
// 32-bit millisecond tick. Plain functions, tested without a clock.

#include <QtGlobal>

// The system's millisecond tick count: 32 bits that wrap after 49.7 days.
quint32 MillisecondTick();

// Milliseconds from one tick to a later one, as an unsigned 32-bit
// difference, so a wrap in between does not matter.
inline quint32 TickDifference(quint32 from, quint32 to) { return to - from; }

// The rate of `bytes` over `milliseconds` in kilobits per second (bits per
// millisecond are kilobits per second, 1 kilobit = 1000 bits). When no
// millisecond has passed there is nothing to divide by: the rate stays
// `previous`.
double KilobitsPerSecond(qint64 bytes, qint64 milliseconds, double previous);

// count × 100 / total; 0 when the total is not known (0 or less).
double PercentOf(qint64 count, qint64 total);

// Milliseconds in a day: ElapsedTime is counted in days.
constexpr double MillisecondsPerDay = 86400000.0;

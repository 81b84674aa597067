// The two sounds the build puts into the program folder: real, short PCM
// WAV files a player takes, audible without clipping, starting and ending in
// silence (no click), the chime higher than the low double beep.

#include "support/testutil.h"

#include <QFile>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

struct Wav {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::vector<double> samples;  // -1 .. 1
    double seconds() const { return double(samples.size()) / rate; }
};

// Reads a RIFF/WAVE file of 16-bit PCM; nothing for anything else.
std::optional<Wav> ReadWav(const QString& path) {
    const QByteArray b = ReadFileBytes(path);
    auto u16 = [&](qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); };
    auto u32 = [&](qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); };
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE" || u32(4) != quint32(b.size() - 8))
        return std::nullopt;
    Wav wav;
    bool haveFormat = false;
    for (qsizetype at = 12; at + 8 <= b.size();) {
        const QByteArray id = b.mid(at, 4);
        const quint32 size = u32(at + 4);
        if (at + 8 + qsizetype(size) > b.size())
            return std::nullopt;
        if (id == "fmt ") {
            if (size < 16 || u16(at + 8) != 1)  // PCM
                return std::nullopt;
            wav.channels = u16(at + 10);
            wav.rate = int(u32(at + 12));
            wav.bits = u16(at + 22);
            if (u32(at + 16) != quint32(wav.rate * wav.channels * wav.bits / 8))
                return std::nullopt;
            haveFormat = true;
        } else if (id == "data" && haveFormat && wav.bits == 16 && wav.channels == 1) {
            for (quint32 i = 0; i + 1 < size; i += 2)
                wav.samples.push_back(qint16(u16(at + 8 + i)) / 32768.0);
        }
        at += 8 + size + (size & 1);
    }
    if (!haveFormat || wav.samples.empty())
        return std::nullopt;
    return wav;
}

double Peak(const std::vector<double>& s, size_t from, size_t to) {
    double peak = 0;
    for (size_t i = from; i < to && i < s.size(); ++i)
        peak = std::max(peak, std::abs(s[i]));
    return peak;
}

// Sign changes per second over the loud part: twice the main pitch.
double CrossingsPerSecond(const Wav& wav) {
    int crossings = 0;
    size_t loud = 0;
    for (size_t i = 1; i < wav.samples.size(); ++i) {
        if (std::abs(wav.samples[i]) < 0.02 && std::abs(wav.samples[i - 1]) < 0.02)
            continue;
        ++loud;
        if ((wav.samples[i] < 0) != (wav.samples[i - 1] < 0))
            ++crossings;
    }
    return loud == 0 ? 0 : crossings * double(wav.rate) / double(loud);
}

TEST(ProgramSounds, BothAreShortAudiblePcmFilesWithoutClicks) {
    for (const char* name : {"ok.wav", "error.wav"}) {
        SCOPED_TRACE(name);
        const std::optional<Wav> wav = ReadWav(ProgramDir() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(wav.has_value());
        EXPECT_EQ(wav->rate, 44100);
        EXPECT_GT(wav->seconds(), 0.15);
        EXPECT_LT(wav->seconds(), 1.5);
        const double peak = Peak(wav->samples, 0, wav->samples.size());
        EXPECT_GT(peak, 0.25);   // clearly audible
        EXPECT_LT(peak, 0.98);   // not clipped
        // It starts from silence and rises over more than a millisecond, and
        // its last 2 ms are near silence: playback does not click.
        const size_t ms = size_t(wav->rate / 1000);
        EXPECT_LT(std::abs(wav->samples.front()), 0.01);
        EXPECT_LT(Peak(wav->samples, 0, ms), 0.15);
        EXPECT_LT(Peak(wav->samples, wav->samples.size() - 2 * ms, wav->samples.size()), 0.02);
    }
}

TEST(ProgramSounds, TheChimeIsHigherThanTheDoubleBeepWhichHasAGap) {
    const std::optional<Wav> ok = ReadWav(ProgramDir() + QStringLiteral("/ok.wav"));
    const std::optional<Wav> error = ReadWav(ProgramDir() + QStringLiteral("/error.wav"));
    ASSERT_TRUE(ok && error);
    EXPECT_GT(CrossingsPerSecond(*ok), 3 * CrossingsPerSecond(*error));
    // Two beeps: loud, then a silent gap in the middle, then loud again.
    const size_t n = error->samples.size();
    const double quarter = Peak(error->samples, n / 8, 3 * n / 8);
    const double middle = Peak(error->samples, n * 46 / 100, n * 54 / 100);
    const double late = Peak(error->samples, 5 * n / 8, 7 * n / 8);
    EXPECT_GT(quarter, 0.25);
    EXPECT_GT(late, 0.25);
    EXPECT_LT(middle, 0.02);
}

TEST(ProgramSounds, TheSoundPlayerTakesBoth) {
    for (const char* name : {"ok.wav", "error.wav"}) {
        SCOPED_TRACE(name);
        QSoundEffect effect;
        effect.setSource(QUrl::fromLocalFile(ProgramDir() + QLatin1Char('/') + QLatin1String(name)));
        EXPECT_TRUE(WaitFor([&] { return effect.status() != QSoundEffect::Loading && effect.status() != QSoundEffect::Null; }, 10000));
        EXPECT_EQ(effect.status(), QSoundEffect::Ready);
    }
}

}  // namespace

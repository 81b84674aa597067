// Writes the program's two sounds into a folder:
//
//   quellix-sound-gen OUT_DIR
//
// ok.wav:    a two-note bell chime rising a fifth (C6, then G6), each note a
//            struck-bell mix of partials that dies away; about 0.6 s.
// error.wav: two short low beeps (A3 with a little of its third harmonic),
//            soft-edged so they do not click; about 0.4 s.
// Both: 44100 Hz, 16-bit, mono PCM.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;  // -1 .. 1

// Adds a bell-like note: partials at 1, 2.0 and 3.0 times the pitch (the
// higher ones quieter and dying faster), a 6 ms attack and an exponential
// decay.
void addBell(Samples& out, double startS, double pitch, double lengthS, double gain) {
    const struct {
        double ratio, level, decay;
    } partials[] = {{1.0, 1.0, 6.0}, {2.0, 0.35, 9.0}, {3.0, 0.12, 14.0}};
    const int start = int(startS * kRate);
    const int count = int(lengthS * kRate);
    for (int i = 0; i < count && start + i < int(out.size()); ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.006);
        // The last 30 ms fade to nothing, so the note ends without a click.
        const double tail = std::min(1.0, (lengthS - t) / 0.03);
        double v = 0.0;
        for (const auto& p : partials)
            v += p.level * std::exp(-p.decay * t) * std::sin(2.0 * kPi * pitch * p.ratio * t);
        out[start + i] += gain * attack * tail * v;
    }
}

// Adds a beep with soft 8 ms edges.
void addBeep(Samples& out, double startS, double pitch, double lengthS, double gain) {
    const int start = int(startS * kRate);
    const int count = int(lengthS * kRate);
    for (int i = 0; i < count && start + i < int(out.size()); ++i) {
        const double t = double(i) / kRate;
        const double edge = std::min({1.0, t / 0.008, (lengthS - t) / 0.008});
        const double v = std::sin(2.0 * kPi * pitch * t) + 0.25 * std::sin(2.0 * kPi * 3.0 * pitch * t);
        out[start + i] += gain * edge * v / 1.25;
    }
}

void put16(std::string& s, uint16_t v) {
    s += char(v & 0xff);
    s += char(v >> 8);
}

void put32(std::string& s, uint32_t v) {
    put16(s, uint16_t(v & 0xffff));
    put16(s, uint16_t(v >> 16));
}

bool writeWav(const std::string& path, const Samples& samples) {
    std::string data;
    for (double v : samples) {
        const double clipped = std::max(-1.0, std::min(1.0, v));
        put16(data, uint16_t(int16_t(std::lround(clipped * 32767.0))));
    }
    std::string file = "RIFF";
    put32(file, uint32_t(36 + data.size()));
    file += "WAVEfmt ";
    put32(file, 16);         // size of the format chunk
    put16(file, 1);          // PCM
    put16(file, 1);          // mono
    put32(file, kRate);      // samples per second
    put32(file, kRate * 2);  // bytes per second
    put16(file, 2);          // bytes per sample frame
    put16(file, 16);         // bits per sample
    file += "data";
    put32(file, uint32_t(data.size()));
    file += data;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

Samples okSound() {
    Samples s(size_t(0.62 * kRate), 0.0);
    addBell(s, 0.00, 1046.50, 0.30, 0.45);  // C6
    addBell(s, 0.12, 1567.98, 0.50, 0.40);  // G6
    return s;
}

Samples errorSound() {
    Samples s(size_t(0.40 * kRate), 0.0);
    addBeep(s, 0.00, 220.0, 0.15, 0.6);
    addBeep(s, 0.23, 220.0, 0.15, 0.6);
    return s;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quellix-sound-gen OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = writeWav(dir + "/ok.wav", okSound());
    ok = writeWav(dir + "/error.wav", errorSound()) && ok;
    if (!ok)
        std::fprintf(stderr, "quellix-sound-gen: cannot write the sounds into %s\n", dir.c_str());
    return ok ? 0 : 1;
}

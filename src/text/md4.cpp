#include "text/md4.h"

#include <algorithm>
#include <cstring>

namespace {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The three auxiliary functions of RFC 1320 section 3.4.
inline uint32_t f(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t g(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (x & z) | (y & z); }
inline uint32_t h(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }

}  // namespace

Md4::Md4() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md4::transform(const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 | uint32_t(block[i * 4 + 2]) << 16 |
               uint32_t(block[i * 4 + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    // Round 1: words in order, shifts 3 7 11 19.
    static constexpr int kShift1[4] = {3, 7, 11, 19};
    for (int i = 0; i < 16; ++i) {
        const uint32_t t = rotl(a + f(b, c, d) + x[i], kShift1[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    // Round 2: words by column (0 4 8 12, 1 5 9 13, ...), shifts 3 5 9 13.
    static constexpr int kShift2[4] = {3, 5, 9, 13};
    for (int i = 0; i < 16; ++i) {
        const int k = (i % 4) * 4 + i / 4;
        const uint32_t t = rotl(a + g(b, c, d) + x[k] + 0x5a827999, kShift2[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    // Round 3: words in bit-reversed order, shifts 3 9 11 15.
    static constexpr int kOrder3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    static constexpr int kShift3[4] = {3, 9, 11, 15};
    for (int i = 0; i < 16; ++i) {
        const uint32_t t = rotl(a + h(b, c, d) + x[kOrder3[i]] + 0x6ed9eba1, kShift3[i % 4]);
        a = d;
        d = c;
        c = b;
        b = t;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md4::update(QByteArrayView data) {
    blocks_.update(data, [this](const uint8_t* block) { transform(block); });
}

std::array<uint8_t, 16> Md4::finish() {
    blocks_.finish(HashBlocks::LengthOrder::LittleEndian, [this](const uint8_t* block) { transform(block); });
    std::array<uint8_t, 16> out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i * 4 + j] = uint8_t(state_[i] >> (8 * j));
    return out;
}

std::array<uint8_t, 16> Md4::digest(QByteArrayView data) {
    Md4 md4;
    md4.update(data);
    return md4.finish();
}

#include "net/otp.h"

#include "text/md4.h"
#include "text/md5.h"
#include "text/sha1.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const char* const kWords[2048] = {
#include "otpwords.inc"
};

using Folded = std::array<uint8_t, 8>;

// MD4 and MD5 fold their 128 bits by XOR of the two halves.
template <class Digest>
Folded foldHalves(const Digest& d) {
    Folded out;
    for (int i = 0; i < 8; ++i)
        out[i] = d[i] ^ d[i + 8];
    return out;
}

// SHA-1 folds its five 32-bit words as w0^w2^w4, w1^w3; each word then
// goes out least significant byte first, as the reference code of RFC 2289
// does on the machines its examples were computed on. The published SHA-1
// examples depend on that order.
Folded foldSha1(const std::array<uint8_t, 20>& d) {
    uint32_t w[5];
    for (int i = 0; i < 5; ++i)
        w[i] = uint32_t(d[i * 4]) << 24 | uint32_t(d[i * 4 + 1]) << 16 | uint32_t(d[i * 4 + 2]) << 8 |
               uint32_t(d[i * 4 + 3]);
    const uint32_t first = w[0] ^ w[2] ^ w[4];
    const uint32_t second = w[1] ^ w[3];
    Folded out;
    for (int i = 0; i < 4; ++i) {
        out[i] = uint8_t(first >> (8 * i));
        out[4 + i] = uint8_t(second >> (8 * i));
    }
    return out;
}

Folded hashAndFold(OtpAlgorithm algorithm, QByteArrayView data) {
    switch (algorithm) {
    case OtpAlgorithm::Md4: return foldHalves(Md4::digest(data));
    case OtpAlgorithm::Md5: return foldHalves(Md5::digest(data));
    case OtpAlgorithm::Sha1: return foldSha1(Sha1::digest(data));
    }
    return {};
}

bool isSeedCharacter(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::optional<OtpChallenge> FindOtpChallenge(QByteArrayView replyText) {
    static const struct {
        const char* word;
        OtpAlgorithm algorithm;
    } kMethods[] = {{"otp-md5", OtpAlgorithm::Md5}, {"otp-md4", OtpAlgorithm::Md4}, {"otp-sha1", OtpAlgorithm::Sha1}};
    for (const auto& method : kMethods) {
        const qsizetype at = replyText.indexOf(QByteArrayView(method.word));
        if (at < 0)
            continue;
        qsizetype p = at + qsizetype(std::strlen(method.word));
        const auto skipBlanks = [&] {
            while (p < replyText.size() && (replyText[p] == ' ' || replyText[p] == '\t'))
                ++p;
        };
        skipBlanks();
        const qsizetype digitsStart = p;
        qint64 sequence = 0;
        while (p < replyText.size() && replyText[p] >= '0' && replyText[p] <= '9') {
            sequence = sequence * 10 + (replyText[p] - '0');
            if (sequence > kOtpMaxSequence)
                return std::nullopt;
            ++p;
        }
        if (p == digitsStart)
            return std::nullopt;
        skipBlanks();
        const qsizetype seedStart = p;
        while (p < replyText.size() && replyText[p] != ' ' && replyText[p] != '\t' && replyText[p] != '\r' &&
               replyText[p] != '\n')
            ++p;
        const QByteArray seed = replyText.sliced(seedStart, p - seedStart).toByteArray().toLower();
        if (seed.isEmpty() || seed.size() > 16 || !std::all_of(seed.begin(), seed.end(), isSeedCharacter))
            return std::nullopt;
        return OtpChallenge{method.algorithm, int(sequence), seed};
    }
    return std::nullopt;
}

QByteArray OtpCompute(OtpAlgorithm algorithm, QByteArrayView passPhrase, QByteArrayView seed, int sequence) {
    Folded value = hashAndFold(algorithm, seed.toByteArray().toLower() + passPhrase.toByteArray());
    for (int i = 0; i < sequence; ++i)
        value = hashAndFold(algorithm, QByteArrayView(reinterpret_cast<const char*>(value.data()), 8));
    return QByteArray(reinterpret_cast<const char*>(value.data()), 8);
}

QByteArray OtpWord(int index) { return (index >= 0 && index < 2048) ? QByteArray(kWords[index]) : QByteArray(); }

QByteArray OtpSixWords(QByteArrayView password) {
    if (password.size() != 8)
        return QByteArray();
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = bits << 8 | uint8_t(password[i]);
    // The checksum is the sum of the 32 two-bit pairs, modulo 4.
    unsigned checksum = 0;
    for (int i = 0; i < 64; i += 2)
        checksum += unsigned(bits >> i) & 3;
    checksum &= 3;
    QByteArray words;
    for (int w = 0; w < 6; ++w) {
        // Word w takes bits 11w .. 11w+10 of the 66-bit string (password,
        // then checksum), counted from the most significant end.
        const int shift = 66 - 11 * (w + 1);
        unsigned index;
        if (shift >= 2)
            index = unsigned(bits >> (shift - 2)) & 0x7ff;
        else
            index = (unsigned(bits << 2) | checksum) & 0x7ff;
        if (w > 0)
            words += ' ';
        words += kWords[index];
    }
    return words;
}

QByteArray OtpAnswer(const OtpChallenge& challenge, QByteArrayView passPhrase) {
    return OtpSixWords(OtpCompute(challenge.algorithm, passPhrase, challenge.seed, challenge.sequence));
}

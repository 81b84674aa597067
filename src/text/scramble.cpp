#include "text/scramble.h"

#include "text/base64.h"
#include "text/errors.h"
#include "text/md5.h"

#include <QRandomGenerator>

namespace {

constexpr char kServerSettingsKey[] = "PlumWeaveGate";

StartByteSource& startByteSource() {
    static StartByteSource source;
    return source;
}

int drawStartByte() {
    if (startByteSource())
        return startByteSource()() & 0xFF;
    return int(QRandomGenerator::global()->bounded(256));
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHexByte(QByteArray& out, int value) {
    out.append(kHexDigits[(value >> 4) & 15]);
    out.append(kHexDigits[value & 15]);
}

// The value of "$" + pair as a hexadecimal integer; the pair may be shorter
// than two characters at the end of the text, and an empty pair fails.
int hexPair(QByteArrayView pair) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    int value = 0;
    bool valid = !pair.isEmpty();
    for (char c : pair) {
        int d = digit(c);
        if (d < 0) {
            valid = false;
            break;
        }
        value = value * 16 + d;
    }
    if (!valid)
        throw EConvertError("'$" + pair.toByteArray() + "' is not a valid integer value");
    return value;
}

// The key bytes in use and the length that drives the key position: an empty
// key borrows the server-settings key but keeps length 0.
struct KeyInUse {
    QByteArrayView bytes;
    qsizetype length;
    explicit KeyInUse(QByteArrayView key)
        : bytes(key.isEmpty() ? QByteArrayView(kServerSettingsKey) : key), length(key.size()) {}
    // Advances the 1-based key position and gives the key byte there.
    unsigned char next(qsizetype& k) const {
        k = k < length ? k + 1 : 1;
        return static_cast<unsigned char>(bytes[k - 1]);
    }
};

struct CodecConfig {
    const char* key;
    int digestLength;
};

constexpr CodecConfig kSiteConfig{"HoopTideMark", 29};
constexpr CodecConfig kServerSettings{"PlumWeaveGate", 29};
constexpr CodecConfig kSettingsFile{"FernShade", 28};

QByteArray codecBody(QByteArrayView text, QByteArrayView key) {
    return Base64Encode(Scramble(Base64Encode(Scramble(text, key)), key));
}

QByteArray runCodec(const CodecConfig& config, QByteArrayView text, CodecDirection direction) {
    const QByteArrayView key(config.key);
    if (direction == CodecDirection::Encode) {
        // The digest tail is made from a first, independently scrambled body.
        QByteArray first = codecBody(text, key);
        QByteArray tail = Md5Hex(first.mid(1, 10)).left(config.digestLength);
        return "A" + codecBody(text, key) + tail + "Z";
    }
    const qsizetype bodyLength = text.size() - (config.digestLength + 2);
    QByteArrayView body = bodyLength > 0 ? text.sliced(1, std::min(bodyLength, text.size() - 1)) : QByteArrayView();
    return Unscramble(Base64Decode(Unscramble(Base64Decode(body), key)), key);
}

}  // namespace

void SetScrambleStartByteSource(StartByteSource source) { startByteSource() = std::move(source); }

QByteArray Scramble(QByteArrayView text, QByteArrayView key) {
    const KeyInUse keyInUse(key);
    int s = drawStartByte();
    QByteArray out;
    out.reserve(2 + 2 * text.size());
    appendHexByte(out, s);
    qsizetype k = 0;
    for (char c : text) {
        s = (s + static_cast<unsigned char>(c)) % 255;
        s ^= keyInUse.next(k);
        appendHexByte(out, s);
    }
    return out;
}

QByteArray Unscramble(QByteArrayView hex, QByteArrayView key) {
    const KeyInUse keyInUse(key);
    qsizetype k = 0;
    int previous = hexPair(hex.first(std::min<qsizetype>(2, hex.size())));
    QByteArray out;
    out.reserve(hex.size() / 2);
    // Positions are 0-based here: the loop starts at the third character and
    // runs at least once; a final single digit after the last pair is ignored.
    qsizetype i = 2;
    do {
        QByteArrayView pair = i < hex.size() ? hex.sliced(i, std::min<qsizetype>(2, hex.size() - i)) : QByteArrayView();
        int value = hexPair(pair);
        int t = value ^ keyInUse.next(k);
        out.append(char(previous < t ? t - previous : t + 255 - previous));
        previous = value;
        i += 2;
    } while (i + 1 < hex.size());
    return out;
}

QByteArray SiteConfigCodec(QByteArrayView text, CodecDirection direction) {
    return runCodec(kSiteConfig, text, direction);
}

QByteArray ServerSettingsCodec(QByteArrayView text, CodecDirection direction) {
    return runCodec(kServerSettings, text, direction);
}

QByteArray SettingsFileCodec(QByteArrayView text, CodecDirection direction) {
    return runCodec(kSettingsFile, text, direction);
}

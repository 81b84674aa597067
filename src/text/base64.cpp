#include "text/base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Six-bit value of an alphabet character; anything else counts as 0.
inline unsigned sextet(char c) {
    if (c >= 'A' && c <= 'Z') return unsigned(c - 'A');
    if (c >= 'a' && c <= 'z') return unsigned(c - 'a' + 26);
    if (c >= '0' && c <= '9') return unsigned(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

}  // namespace

QByteArray Base64Encode(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    QByteArray out;
    out.resize((n + 2) / 3 * 4);
    char* o = out.data();
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8 | p[i + 2];
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (n - i == 1) {
        unsigned v = unsigned(p[i]) << 16;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = '=';
        *o++ = '=';
    } else if (n - i == 2) {
        unsigned v = unsigned(p[i]) << 16 | unsigned(p[i + 1]) << 8;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = '=';
    }
    return out;
}

QByteArray Base64Decode(QByteArrayView text) {
    const qsizetype groups = text.size() / 4;
    QByteArray out;
    out.reserve(groups * 3);
    for (qsizetype g = 0; g < groups; ++g) {
        const char* c = text.data() + g * 4;
        unsigned v = sextet(c[0]) << 18 | sextet(c[1]) << 12 | sextet(c[2]) << 6 | sextet(c[3]);
        out.append(char(v >> 16));
        if (c[2] == '=')
            continue;
        out.append(char((v >> 8) & 0xFF));
        if (c[3] == '=')
            continue;
        out.append(char(v & 0xFF));
    }
    return out;
}

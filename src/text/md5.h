#pragma once
// MD5 message digest (RFC 1321).

#include "text/hashblocks.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

class Md5 {
public:
    Md5();
    void update(QByteArrayView data);
    // The 16 digest bytes; the object must not be updated afterwards.
    std::array<uint8_t, 16> finish();

    static std::array<uint8_t, 16> digest(QByteArrayView data);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[4];
    HashBlocks blocks_;
};

// The digest as 32 upper-case hexadecimal digits, most significant first.
QByteArray Md5Hex(QByteArrayView data);

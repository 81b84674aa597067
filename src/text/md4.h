#pragma once
// MD4 message digest (RFC 1320). Only the one-time passwords of FTP log-ins
// use it; it is not fit for anything that needs a secure hash.

#include "text/hashblocks.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

class Md4 {
public:
    Md4();
    void update(QByteArrayView data);
    // The 16 digest bytes; the object must not be updated afterwards.
    std::array<uint8_t, 16> finish();

    static std::array<uint8_t, 16> digest(QByteArrayView data);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[4];
    HashBlocks blocks_;
};

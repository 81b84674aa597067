#pragma once
// SHA-1 message digest (FIPS 180). Used by the "otp-sha1" one-time
// passwords of FTP log-ins.

#include "text/hashblocks.h"

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

class Sha1 {
public:
    Sha1();
    void update(QByteArrayView data);
    // The 20 digest bytes, most significant byte of the first word first;
    // the object must not be updated afterwards.
    std::array<uint8_t, 20> finish();

    static std::array<uint8_t, 20> digest(QByteArrayView data);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[5];
    HashBlocks blocks_;
};

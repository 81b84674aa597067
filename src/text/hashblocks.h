#pragma once
// What MD4, MD5 and SHA-1 share: data is taken in 64-byte blocks, and the
// message ends with a 1 bit, zeros up to 56 bytes modulo 64 and the bit
// length as 64 bits (least significant byte first for MD4 and MD5, most
// significant first for SHA-1).

#include <QByteArrayView>
#include <algorithm>
#include <cstdint>
#include <cstring>

class HashBlocks {
public:
    enum class LengthOrder { LittleEndian, BigEndian };

    // Feeds `data`, calling compress(block) for every complete 64-byte block.
    template <class Compress>
    void update(QByteArrayView data, Compress&& compress) {
        auto* p = reinterpret_cast<const uint8_t*>(data.data());
        size_t n = static_cast<size_t>(data.size());
        length_ += n;
        if (buffered_ > 0) {
            const size_t take = std::min(n, 64 - buffered_);
            std::memcpy(buffer_ + buffered_, p, take);
            buffered_ += take;
            p += take;
            n -= take;
            if (buffered_ < 64)
                return;
            compress(buffer_);
            buffered_ = 0;
        }
        for (; n >= 64; p += 64, n -= 64)
            compress(p);
        std::memcpy(buffer_, p, n);
        buffered_ = n;
    }

    // Appends the padding and the length; the last block is compressed.
    template <class Compress>
    void finish(LengthOrder order, Compress&& compress) {
        const uint64_t bits = length_ * 8;
        uint8_t pad[64] = {0x80};
        const size_t padLength = (buffered_ < 56) ? 56 - buffered_ : 120 - buffered_;
        update(QByteArrayView(reinterpret_cast<const char*>(pad), static_cast<qsizetype>(padLength)), compress);
        uint8_t lengthBytes[8];
        for (int i = 0; i < 8; ++i)
            lengthBytes[i] = uint8_t(bits >> (order == LengthOrder::LittleEndian ? 8 * i : 56 - 8 * i));
        update(QByteArrayView(reinterpret_cast<const char*>(lengthBytes), 8), compress);
    }

private:
    uint64_t length_ = 0;  // bytes hashed so far
    uint8_t buffer_[64];
    size_t buffered_ = 0;
};

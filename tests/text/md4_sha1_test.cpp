#include "support/testutil.h"
#include "text/md4.h"
#include "text/sha1.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

template <size_t N>
QByteArray hex(const std::array<uint8_t, N>& digest) {
    return QByteArray(reinterpret_cast<const char*>(digest.data()), qsizetype(N)).toHex();
}

TEST(Md4, MatchesTheTestSuiteOfRfc1320) {
    EXPECT_EQ(hex(Md4::digest("")), "31d6cfe0d16ae931b73c59d7e0c089c0");
    EXPECT_EQ(hex(Md4::digest("a")), "bde52cb31de33e46245e05fbdbd6fb24");
    EXPECT_EQ(hex(Md4::digest("abc")), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(hex(Md4::digest("message digest")), "d9130a8164549fe818874806e1c7014b");
    EXPECT_EQ(hex(Md4::digest("abcdefghijklmnopqrstuvwxyz")), "d79e1c308aa5bbcdeea8ed63df412da9");
    EXPECT_EQ(hex(Md4::digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
              "043f8582f241db351ce627e153e7f0e4");
    EXPECT_EQ(hex(Md4::digest("1234567890123456789012345678901234567890123456789012345678901234567890123456789"
                              "0")),
              "e33b4ddc9c38f2199c3e7b164fcc0536");
}

TEST(Sha1, MatchesThePublishedExamples) {
    EXPECT_EQ(hex(Sha1::digest("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex(Sha1::digest("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex(Sha1::digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    Sha1 million;
    const QByteArray chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.update(chunk);
    EXPECT_EQ(hex(million.finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// Lengths around the padding boundaries (55, 56, 63, 64 ...) and inputs fed
// in uneven pieces must give the same digest as one call.
TEST(Md4AndSha1, AnySplitOfTheInputGivesTheSameDigestAsQtsHash) {
    auto* random = QRandomGenerator::global();
    for (int length : {1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 4097}) {
        QByteArray data(length, Qt::Uninitialized);
        for (char& c : data)
            c = char(random->bounded(256));
        Md4 md4;
        Sha1 sha1;
        for (qsizetype at = 0; at < data.size();) {
            const qsizetype piece = std::min<qsizetype>(random->bounded(1, 70), data.size() - at);
            md4.update(QByteArrayView(data).sliced(at, piece));
            sha1.update(QByteArrayView(data).sliced(at, piece));
            at += piece;
        }
        EXPECT_EQ(hex(md4.finish()), QCryptographicHash::hash(data, QCryptographicHash::Md4).toHex()) << length;
        EXPECT_EQ(hex(sha1.finish()), QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex()) << length;
    }
}

}  // namespace

#include "support/testutil.h"
#include "text/base64.h"
#include "text/md5.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

TEST(Base64Encode, FollowsRfc4648WithPaddingAndNoLineBreaks) {
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Encode("f"), "Zg==");
    EXPECT_EQ(Base64Encode("fo"), "Zm8=");
    EXPECT_EQ(Base64Encode("foo"), "Zm9v");
    EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64Encode(QByteArray("\xfb\xff", 2)), "+/8=");
    const QByteArray big(1000, 'x');
    EXPECT_EQ(Base64Encode(big).size(), (1000 + 2) / 3 * 4);
    EXPECT_EQ(Base64Encode(big), big.toBase64());
}

TEST(Base64Decode, DecodesWholeGroupsAndIgnoresAShortFinalGroup) {
    EXPECT_EQ(Base64Decode("QUJD"), "ABC");
    EXPECT_EQ(Base64Decode("QUI="), "AB");
    EXPECT_EQ(Base64Decode("QQ=="), "A");
    EXPECT_EQ(Base64Decode("QUJDRA"), "ABC");
    EXPECT_EQ(Base64Decode("QUJ"), "");
    EXPECT_EQ(Base64Decode(""), "");
}

TEST(Base64Decode, AnInnerPadShortensOnlyItsGroup) {
    EXPECT_EQ(Base64Decode("QQ==QUJD"), "AABC");
    EXPECT_EQ(Base64Decode("QUI=QQ=="), "ABA");
}

TEST(Base64Decode, CharactersOutsideTheAlphabetKeepTheirPlaceAsZero) {
    // A line break takes the places of two characters and counts as 0.
    EXPECT_EQ(Base64Decode("QU\r\n"), Base64Decode("QUAA"));
}

TEST(Base64, RoundTripsRandomBytes) {
    QRandomGenerator random(7);
    for (int i = 0; i < 200; ++i) {
        QByteArray bytes(int(random.bounded(300)), '\0');
        for (char& c : bytes)
            c = char(random.bounded(256));
        ASSERT_EQ(Base64Decode(Base64Encode(bytes)), bytes);
    }
}

TEST(Md5Hex, GivesTheRfc1321DigestInUpperCase) {
    EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Hex("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5Hex, AgreesWithQtAcrossBlockBoundariesAndIncrementalUpdates) {
    QRandomGenerator random(11);
    for (int length : {55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 100000}) {
        QByteArray bytes(length, '\0');
        for (char& c : bytes)
            c = char(random.bounded(256));
        const QByteArray expected = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper();
        ASSERT_EQ(Md5Hex(bytes), expected) << length;
        Md5 pieces;
        for (qsizetype at = 0; at < bytes.size(); at += 17)
            pieces.update(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(17, bytes.size() - at)));
        const auto digest = pieces.finish();
        ASSERT_EQ(QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex().toUpper(), expected);
    }
}

}  // namespace

#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "text/md5.h"
#include "text/scramble.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

// Fixes the scrambler's start byte for the length of a test.
class FixedStartByte {
public:
    explicit FixedStartByte(int value) : value_(value) { SetScrambleStartByteSource([this] { return value_; }); }
    ~FixedStartByte() { SetScrambleStartByteSource(nullptr); }
    void set(int value) { value_ = value; }

private:
    int value_ = 0;
};

QByteArray errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EConvertError& e) {
        return e.message();
    }
    return "no error";
}

// A random non-empty text of bytes 1 to 254: the bytes the scrambler
// restores exactly. (An empty text scrambles to two digits, which are too
// short to unscramble.)
QByteArray randomText(QRandomGenerator& random, int maxLength) {
    QByteArray text(int(1 + random.bounded(maxLength)), '\0');
    for (char& c : text)
        c = char(1 + random.bounded(254));
    return text;
}

TEST(Scramble, WritesTheStartByteThenOneUpperCasePairPerByte) {
    FixedStartByte start(0xAB);
    EXPECT_EQ(Scramble("", "AB"), "AB");
    const QByteArray out = Scramble("hello world", "FernShade");
    EXPECT_EQ(out.size(), 2 + 2 * 11);
    for (char c : out)
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;
}

TEST(Scramble, SumsModulo255AndCyclesThroughTheKey) {
    FixedStartByte start(0);
    // s = (0+1)%255 ^ 'A' = 0x40; (0x40+2) ^ 'B' = 0x00; (0+3) ^ 'A' = 0x42.
    EXPECT_EQ(Scramble(QByteArray("\x01\x02\x03"), "AB"), "00400042");
    // 254 + 1 wraps to 0 before the key byte is applied.
    start.set(254);
    EXPECT_EQ(Scramble(QByteArray("\x01"), "A"), "FE41");
}

TEST(Scramble, AnEmptyKeyUsesOnlyTheFirstByteOfTheServerSettingsKey) {
    FixedStartByte start(0);
    // 'P' = 0x50 every time: 1^0x50 = 0x51, (0x51+1)^0x50 = 0x02.
    EXPECT_EQ(Scramble(QByteArray("\x01\x01"), ""), "005102");
    EXPECT_EQ(Unscramble("005102", ""), QByteArray("\x01\x01"));
}

TEST(Scramble, RoundTripsBytesOneTo254WhateverTheStartByte) {
    QRandomGenerator random(12345);
    FixedStartByte start(0);
    for (int s = 0; s < 256; ++s) {
        start.set(s);
        for (const char* key : {"HoopTideMark", "PlumWeaveGate", "FernShade", "", "x"}) {
            const QByteArray text = randomText(random, 40);
            ASSERT_EQ(Unscramble(Scramble(text, key), key), text) << "start " << s << " key " << key;
        }
    }
}

TEST(Scramble, AZeroByteComesBackAs255) {
    FixedStartByte start(3);
    EXPECT_EQ(Unscramble(Scramble(QByteArray("a\0b", 3), "FernShade"), "FernShade"), QByteArray("a\xff" "b"));
}

TEST(Unscramble, ReadsEitherCaseAndIgnoresAFinalSingleDigit) {
    FixedStartByte start(0x10);
    const QByteArray hex = Scramble("abc", "FernShade");
    EXPECT_EQ(Unscramble(hex.toLower(), "FernShade"), "abc");
    EXPECT_EQ(Unscramble(hex + "7", "FernShade"), "abc");
}

TEST(Unscramble, AThreeDigitTextTakesItsThirdDigitAsTheOnlyPair) {
    // p = 0x0A, v = 0x5, t = 5 ^ 'F'(0x46) = 0x43 > p: byte 0x43 - 0x0A.
    EXPECT_EQ(Unscramble("0A5", "FernShade"), QByteArray(1, char(0x43 - 0x0A)));
}

TEST(Unscramble, RefusesPairsThatAreNotHexadecimalAndTooShortTexts) {
    EXPECT_EQ(errorOf([] { Unscramble("00G1", "k"); }), "'$G1' is not a valid integer value");
    EXPECT_EQ(errorOf([] { Unscramble("Z000", "k"); }), "'$Z0' is not a valid integer value");
    EXPECT_EQ(errorOf([] { Unscramble("00", "k"); }), "'$' is not a valid integer value");
    EXPECT_EQ(errorOf([] { Unscramble("", "k"); }), "'$' is not a valid integer value");
}

using Codec = QByteArray (*)(QByteArrayView, CodecDirection);
struct CodecCase {
    const char* name;
    Codec codec;
    int overhead;  // "A" + digest tail + "Z"
};
const CodecCase kCodecs[] = {
    {"site", &SiteConfigCodec, 31},
    {"server", &ServerSettingsCodec, 31},
    {"settings", &SettingsFileCodec, 30},
};

TEST(ConfigurationCodecs, FrameTheBodyWithAAndAnUpperCaseDigestTailAndZ) {
    for (const auto& c : kCodecs) {
        const QByteArray text = "http://disk.example/|Example Disk";
        const QByteArray frame = c.codec(text, CodecDirection::Encode);
        ASSERT_TRUE(frame.startsWith('A')) << c.name;
        ASSERT_TRUE(frame.endsWith('Z')) << c.name;
        const QByteArray tail = frame.mid(frame.size() - (c.overhead - 1), c.overhead - 2);
        for (char ch : tail)
            EXPECT_TRUE((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')) << c.name;
        // The body is Base64 of the second scramble of Base64 of the first.
        const QByteArray body = frame.mid(1, frame.size() - c.overhead);
        EXPECT_EQ(body.size() % 4, 0) << c.name;
    }
}

TEST(ConfigurationCodecs, DigestTailComesFromTenCharactersOfAFirstBody) {
    FixedStartByte start(77);  // both bodies equal when the start byte is fixed
    const QByteArray frame = SettingsFileCodec("Laconic|alice", CodecDirection::Encode);
    const QByteArray body = frame.mid(1, frame.size() - 30);
    EXPECT_EQ(frame.right(29), Md5Hex(body.mid(1, 10)).left(28) + "Z");
}

TEST(ConfigurationCodecs, TwoEncodingsDifferButBothDecode) {
    QRandomGenerator random(99);
    for (const auto& c : kCodecs) {
        for (int i = 0; i < 50; ++i) {
            const QByteArray text = randomText(random, 120);
            const QByteArray a = c.codec(text, CodecDirection::Encode);
            const QByteArray b = c.codec(text, CodecDirection::Encode);
            ASSERT_EQ(c.codec(a, CodecDirection::Decode), text) << c.name;
            ASSERT_EQ(c.codec(b, CodecDirection::Decode), text) << c.name;
        }
    }
    // With random start bytes two frames of a non-trivial text almost never agree.
    EXPECT_NE(SiteConfigCodec("some text", CodecDirection::Encode),
              SiteConfigCodec("some text", CodecDirection::Encode));
}

TEST(ConfigurationCodecs, TwoSurplusCharactersAfterTheFrameAreIgnored) {
    for (const auto& c : kCodecs) {
        const QByteArray frame = c.codec("https://pan.example.cn/|网盘"_gbk, CodecDirection::Encode);
        EXPECT_EQ(c.codec(frame + "\r\n", CodecDirection::Decode), c.codec(frame, CodecDirection::Decode));
    }
}

TEST(ConfigurationCodecs, ShortFramesFailWithTheIntegerMessage) {
    for (const auto& c : kCodecs) {
        for (int length = 0; length < c.overhead + 4; ++length) {
            const QByteArray frame = "A" + QByteArray(std::max(0, length - 1), 'Q');
            EXPECT_THROW(c.codec(frame.left(length), CodecDirection::Decode), EConvertError)
                << c.name << " length " << length;
        }
    }
}

TEST(ConfigurationCodecs, AFrameBrokenOverTwoLinesDoesNotDecodeToTheText) {
    const QByteArray text = "http://disk.example/|Example";
    QByteArray frame = SiteConfigCodec(text, CodecDirection::Encode);
    frame.insert(frame.size() / 2, "\r\n");
    QByteArray decoded;
    try {
        decoded = SiteConfigCodec(frame, CodecDirection::Decode);
    } catch (const EConvertError&) {
    }
    EXPECT_NE(decoded, text);
}

}  // namespace

#include "net/otp.h"
#include "support/testutil.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

OtpAlgorithm algorithmNamed(const QByteArray& name) {
    if (name == "md4") return OtpAlgorithm::Md4;
    if (name == "sha1") return OtpAlgorithm::Sha1;
    return OtpAlgorithm::Md5;
}

// Every line of data/otp-vectors.txt: algorithm|pass phrase|seed|count|
// 64-bit result in hex|six-word form.
TEST(Otp, ComputesEveryPublishedVectorInHexAndSixWordForm) {
    QFile vectors(SourceDir() + QStringLiteral("/tests/net/data/otp-vectors.txt"));
    ASSERT_TRUE(vectors.open(QIODevice::ReadOnly));
    int checked = 0;
    while (!vectors.atEnd()) {
        const QByteArray line = vectors.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> f = line.split('|');
        ASSERT_EQ(f.size(), 6) << line.toStdString();
        const QByteArray otp = OtpCompute(algorithmNamed(f[0]), f[1], f[2], f[3].toInt());
        EXPECT_EQ(otp.toHex().toUpper(), f[4]) << line.toStdString();
        EXPECT_EQ(OtpSixWords(otp), f[5]) << line.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 27);
}

TEST(Otp, TheCompiledDictionaryHasAllWordsInOrder) {
    EXPECT_EQ(OtpWord(0), "A");
    EXPECT_EQ(OtpWord(2047), "YOKE");
    EXPECT_EQ(OtpWord(2048), "");
    EXPECT_EQ(OtpWord(-1), "");
}

TEST(OtpChallengeParsing, ReadsMethodSequenceAndLowerCasedSeedFromAReply) {
    auto c = FindOtpChallenge("331 Response to otp-md5 499 Ke1234 required for skey.");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->algorithm, OtpAlgorithm::Md5);
    EXPECT_EQ(c->sequence, 499);
    EXPECT_EQ(c->seed, "ke1234");
    c = FindOtpChallenge("331 otp-sha1 0 alpha1 ext");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->algorithm, OtpAlgorithm::Sha1);
    EXPECT_EQ(c->sequence, 0);
    c = FindOtpChallenge("331 otp-md4 7   x");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->algorithm, OtpAlgorithm::Md4);
    EXPECT_EQ(c->seed, "x");
}

TEST(OtpChallengeParsing, RejectsMalformedOrUnreasonableChallenges) {
    EXPECT_FALSE(FindOtpChallenge("331 Password required for bob."));
    EXPECT_FALSE(FindOtpChallenge("331 otp-md5 seed-without-number"));
    EXPECT_FALSE(FindOtpChallenge("331 otp-md5 12"));                         // no seed
    EXPECT_FALSE(FindOtpChallenge("331 otp-md5 12 abcdefghijklmnopq"));       // 17 characters
    EXPECT_FALSE(FindOtpChallenge("331 otp-md5 12 ab_cd"));                   // not a-z, 0-9
    EXPECT_TRUE(FindOtpChallenge("331 otp-md5 12 abcdefghijklmnop"));         // 16 characters
    // A huge count would keep the client hashing for minutes.
    EXPECT_FALSE(FindOtpChallenge("331 otp-md5 99999999999999999999 seed"));
    EXPECT_TRUE(FindOtpChallenge("331 otp-md5 1000000 seed"));
}

TEST(OtpChallengeParsing, AnswerIsTheSixWordsOfTheChallengedSequence) {
    const auto c = FindOtpChallenge("331 Response to otp-md5 99 TeSt required.");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(OtpAnswer(*c, "This is a test."), "BAIL TUFT BITS GANG CHEF THY");
}

}  // namespace

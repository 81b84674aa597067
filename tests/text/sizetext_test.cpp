#include "support/testutil.h"
#include "text/sizetext.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

class SizeTextTest : public testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(SizeTextTest, ChoosesTheUnitByIntegerDivisionBeforeFormatting) {
    EXPECT_EQ(SizeText(0), "0B");
    EXPECT_EQ(SizeText(5), "5B");
    EXPECT_EQ(SizeText(1023), "1023B");
    EXPECT_EQ(SizeText(1536), "1.50KB");
    EXPECT_EQ(SizeText(1048575), "1024.00KB");
    EXPECT_EQ(SizeText(1572864), "1.50MB");
    EXPECT_EQ(SizeText(1073741823), "1024.00MB");
    EXPECT_EQ(SizeText(1073741824), "1.00GB");
    EXPECT_EQ(SizeText(1610612736), "1.50GB");
}

TEST_F(SizeTextTest, NegativeCountsFallThroughToBytes) {
    EXPECT_EQ(SizeText(-1), "-1B");
    EXPECT_EQ(SizeText(-5000000000), "-5000000000B");
}

TEST_F(SizeTextTest, LargeCountsKeepSixtyFourBits) {
    EXPECT_EQ(SizeText(5LL * 1073741824), "5.00GB");
    EXPECT_EQ(SizeText(2048LL * 1073741824), "2048.00GB");  // no group separators
}

TEST_F(SizeTextTest, UsesTheLocaleDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SizeText(1536), "1,50KB");
    EXPECT_EQ(SizeText(2048LL * 1073741824), "2048,00GB");
}

}  // namespace

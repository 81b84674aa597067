#include "support/testutil.h"
#include "text/convert.h"
#include "text/errors.h"

#include <gtest/gtest.h>

namespace {

template <class F>
QByteArray errorOf(F&& f) {
    try {
        f();
    } catch (const QxError& e) {
        return e.message();
    }
    return "no error";
}

TEST(StrToInt, ReadsDecimalSignedAndHexadecimalNumbers) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("1234"), 1234);
    EXPECT_EQ(StrToInt("-42"), -42);
    EXPECT_EQ(StrToInt(" 7"), 7);
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesOtherTextsWithTheUsersMessage) {
    EXPECT_EQ(errorOf([] { StrToInt("12a"); }), "'12a' is not a valid integer value");
    EXPECT_EQ(errorOf([] { StrToInt(""); }), "'' is not a valid integer value");
    EXPECT_EQ(errorOf([] { StrToInt("7 "); }), "'7 ' is not a valid integer value");
    EXPECT_EQ(errorOf([] { StrToInt("2147483648"); }), "'2147483648' is not a valid integer value");
    EXPECT_EQ(StrToInt64("2147483648"), 2147483648LL);
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(errorOf([] { StrToInt64("9223372036854775808"); }),
              "'9223372036854775808' is not a valid integer value");
}

TEST(StrToBool, ReadsNumbersAndTrueFalseInAnyCase) {
    EXPECT_TRUE(StrToBool("1"));
    EXPECT_TRUE(StrToBool("2"));
    EXPECT_TRUE(StrToBool("-1"));
    EXPECT_FALSE(StrToBool("0"));
    EXPECT_TRUE(StrToBool("True"));
    EXPECT_TRUE(StrToBool("tRUE"));
    EXPECT_FALSE(StrToBool("FALSE"));
    EXPECT_EQ(errorOf([] { StrToBool("yes"); }), "'yes' is not a valid boolean value");
}

}  // namespace

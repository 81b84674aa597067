#include "support/testutil.h"
#include "text/gbk.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

TEST(Gbk, ConvertsChineseBothWays) {
    const QByteArray gbk("\xcd\xf8\xc5\xcc", 4);  // 网盘
    EXPECT_EQ(FromGbk(gbk), QString::fromUtf8("网盘"));
    EXPECT_EQ(ToGbk(QString::fromUtf8("网盘")), gbk);
    EXPECT_EQ("网盘"_gbk, gbk);
    EXPECT_EQ(ToGbk(QStringLiteral("plain ascii")), "plain ascii");
}

TEST(Gbk, CharactersWithoutAGbkFormAreMarkedOrRefused) {
    const QString text = QString::fromUtf8("a😀b");
    EXPECT_EQ(ToGbk(text), "a?b");
    EXPECT_FALSE(ToGbkExact(text).has_value());
    EXPECT_EQ(ToGbkExact(QString::fromUtf8("张三")).value(), ToGbk(QString::fromUtf8("张三")));
}

TEST(Gbk, InvalidBytesBecomeReplacementCharactersAndDecodingGoesOn) {
    EXPECT_EQ(FromGbk(QByteArray("a\xff" "b", 3)), QString::fromUtf8("a\xef\xbf\xbd" "b"));
    EXPECT_EQ(FromGbk(QByteArray("a\xcd", 2)), QString::fromUtf8("a\xef\xbf\xbd"));  // cut-off character
}

TEST(Gbk, RoundTripsEveryValidDoubleByteCharacter) {
    QByteArray all;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) {
                QByteArray c;
                c.append(char(lead));
                c.append(char(trail));
                if (!FromGbk(c).contains(QChar(0xFFFD)))
                    all += c;
            }
    ASSERT_GT(all.size(), 40000);
    EXPECT_EQ(ToGbk(FromGbk(all)), all);
}

}  // namespace

// The skins a site's branding record offers. Names come from the site: any
// that would not stay one file inside "skins/" are left out.

#include "skinmgr/skincatalogue.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <gtest/gtest.h>

namespace {

QByteArray Branding(const QByteArray& skins) { return "Demo|http://h/|about|support|2.2|" + skins + "|news"; }

QList<QByteArray> Names(const QList<TSkinRes>& skins) {
    QList<QByteArray> names;
    for (const TSkinRes& s : skins)
        names << s.Name;
    return names;
}

TEST(SkinList, ItemFiveNamesTheSkinsInOrderWithTheirCaptions) {
    const QList<TSkinRes> skins = SkinList(Branding("Laconic,Jade,Amber,Midnight"));
    EXPECT_EQ(Names(skins), QList<QByteArray>({"Laconic", "Jade", "Amber", "Midnight"}));
    EXPECT_EQ(skins[1].Caption, "Jade皮肤"_gbk);
    // GBK names stay GBK bytes.
    const QList<TSkinRes> chinese = SkinList(Branding("蓝天,Jade"_gbk));
    EXPECT_EQ(Names(chinese), QList<QByteArray>({"蓝天"_gbk, "Jade"}));
    EXPECT_EQ(FromGbk(chinese[0].Caption), QString::fromUtf8("蓝天皮肤"));
}

TEST(SkinList, ATextWithoutACommaIsOneSkin) {
    EXPECT_EQ(Names(SkinList(Branding("Jade"))), QList<QByteArray>({"Jade"}));
}

TEST(SkinList, NoSkinsWhenTheRecordNamesNone) {
    EXPECT_TRUE(SkinList(Branding("")).isEmpty());
    EXPECT_TRUE(SkinList("Demo|http://h/|about").isEmpty());  // no item 5
    EXPECT_TRUE(SkinList(QByteArray()).isEmpty());
}

TEST(SkinList, NamesThatWouldLeaveTheSkinsFolderAreLeftOut) {
    EXPECT_EQ(Names(SkinList(Branding("../../settings,Jade,..,.,a\\b,x/y,Amber"))),
              QList<QByteArray>({"Jade", "Amber"}));
    EXPECT_EQ(Names(SkinList(Branding("Jade,,Amber,Jade"))), QList<QByteArray>({"Jade", "Amber"}));
    EXPECT_TRUE(SkinList(Branding("..")).isEmpty());
}

TEST(IsSafeSkinName, OnlyPlainFileNames) {
    for (const QByteArray& name : {QByteArray("Jade"), QByteArray("a..b"), QByteArray(".hidden"), "蓝天"_gbk})
        EXPECT_TRUE(IsSafeSkinName(name)) << name.toStdString();
    for (const QByteArray& name : {QByteArray(), QByteArray("."), QByteArray(".."), QByteArray("a/b"),
                                  QByteArray("a\\b"), QByteArray("a\nb"), QByteArray("a\0b", 3)})
        EXPECT_FALSE(IsSafeSkinName(name)) << name.toStdString();
}

}  // namespace

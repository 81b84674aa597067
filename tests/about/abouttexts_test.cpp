// The about window's texts: the tab lines from the two files beside the
// program (and the notice that piles up while one is missing), the version
// text, the support address, the texts the build ships, and when the web
// engine may start.

#include "about/abouttexts.h"
#include "about/probedpage.h"
#include "config/localfiles.h"
#include "support/testutil.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kF1 = "Quellix Software not install(f1)!";
const QByteArray kF2 = "Quellix Software not install(f2)!";

class AboutTextsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    LocalFiles files{dir.path()};
    AboutTexts texts;
};

TEST_F(AboutTextsTest, MissingFilesAddOneNoticeLinePerShowing) {
    texts.Refresh(files);
    EXPECT_EQ(texts.Info, QList<QByteArray>{kF1});
    EXPECT_EQ(texts.License, QList<QByteArray>{kF2});
    texts.Refresh(files);
    texts.Refresh(files);
    EXPECT_EQ(texts.Info, (QList<QByteArray>{kF1, kF1, kF1}));
    EXPECT_EQ(texts.License, (QList<QByteArray>{kF2, kF2, kF2}));
}

TEST_F(AboutTextsTest, PresentFilesGiveExactlyTheirLinesAtEveryShowing) {
    // GBK text with every kind of line end, an empty line in between, and a
    // final line break that adds no line.
    WriteFileBytes(path("info.txt"), "软件说明\r\n第二行\n\r\n第四行\r末行\r\n"_gbk);
    WriteFileBytes(path("license.txt"), "使用协议"_gbk);
    const QList<QByteArray> info{"软件说明"_gbk, "第二行"_gbk, "", "第四行"_gbk, "末行"_gbk};
    for (int showing = 0; showing < 3; ++showing) {
        texts.Refresh(files);
        EXPECT_EQ(texts.Info, info);
        EXPECT_EQ(texts.License, QList<QByteArray>{"使用协议"_gbk});
    }
}

TEST_F(AboutTextsTest, OneMissingFileLeavesTheOtherTabAlone) {
    WriteFileBytes(path("info.txt"), "说明\r\n"_gbk);
    texts.Refresh(files);
    texts.Refresh(files);
    EXPECT_EQ(texts.Info, QList<QByteArray>{"说明"_gbk});
    EXPECT_EQ(texts.License, (QList<QByteArray>{kF2, kF2}));
}

TEST_F(AboutTextsTest, AFileThatAppearsReplacesTheNoticesAndOneThatGoesKeepsItsLines) {
    texts.Refresh(files);
    WriteFileBytes(path("license.txt"), "条款\r\n"_gbk);
    texts.Refresh(files);
    EXPECT_EQ(texts.License, QList<QByteArray>{"条款"_gbk});
    ASSERT_TRUE(QFile::remove(path("license.txt")));
    texts.Refresh(files);
    EXPECT_EQ(texts.License, (QList<QByteArray>{"条款"_gbk, kF2}));
}

TEST_F(AboutTextsTest, AFolderInPlaceOfAFileCountsAsMissing) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("info.txt")));
    texts.Refresh(files);
    EXPECT_EQ(texts.Info, QList<QByteArray>{kF1});
}

TEST(AboutVersionText, PutsTheSiteVersionAndReleaseOnTheLabelsSecondLine) {
    EXPECT_EQ(AboutVersionText("S", "2.2", "20130122"),
              "\n\r此软件为 S 专用版本, 程序版本：v2.2  Release 20130122"_gbk);
    // The site name goes in as its GBK bytes, blanks included.
    EXPECT_EQ(AboutVersionText("演示 网盘"_gbk, "2.2", "20130122"),
              "\n\r此软件为 演示 网盘 专用版本, 程序版本：v2.2  Release 20130122"_gbk);
}

TEST(SupportLinkUrl, AsksTheVendorsHomePageForTheVersion) {
    EXPECT_EQ(SupportLinkUrl("https://www.quellix.net/", "2.2"), "https://www.quellix.net/?cl_ver=2.2");
    EXPECT_EQ(SupportLinkUrl("http://127.0.0.1:8081/", "2.2"), "http://127.0.0.1:8081/?cl_ver=2.2");
}

// The build puts the two texts beside the program: real Chinese texts in
// GBK, exactly the files of the source tree.
TEST(ShippedTexts, AreInTheProgramFolderAsGbkText) {
    for (const char* name : {"info.txt", "license.txt"}) {
        SCOPED_TRACE(name);
        const QByteArray shipped = ReadFileBytes(ProgramDir() + QStringLiteral("/") + QLatin1String(name));
        ASSERT_FALSE(shipped.isEmpty());
        EXPECT_EQ(shipped, ReadFileBytes(SourceDir() + QStringLiteral("/src/about/texts/") + QLatin1String(name)));
        const QString text = FromGbk(shipped);
        EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
        EXPECT_EQ(ToGbkExact(text), shipped);
        EXPECT_TRUE(text.contains(QStringLiteral("Quellix")));
        EXPECT_GE(CutLines(shipped).size(), 10);
        // Not UTF-8 by mistake: GBK bytes of Chinese text do not decode as
        // UTF-8.
        EXPECT_TRUE(QString::fromUtf8(shipped).contains(QChar::ReplacementCharacter));
    }
    EXPECT_TRUE(FromGbk(ReadFileBytes(ProgramDir() + QStringLiteral("/info.txt"))).contains(QString::fromUtf8("网盘")));
    EXPECT_TRUE(
        FromGbk(ReadFileBytes(ProgramDir() + QStringLiteral("/license.txt"))).contains(QString::fromUtf8("协议")));
}

TEST(WebEngineCanStart, OnlyTheSuperuserNeedsTheSandboxTurnedOff) {
    EXPECT_TRUE(WebEngineCanStart(false, false, ""));
    EXPECT_FALSE(WebEngineCanStart(true, false, ""));
    EXPECT_FALSE(WebEngineCanStart(true, false, "--disable-gpu --no-sandboxes"));
    EXPECT_TRUE(WebEngineCanStart(true, true, ""));
    EXPECT_TRUE(WebEngineCanStart(true, false, "--disable-gpu  --no-sandbox"));
    // The tests run with the sandbox turned off when they run as root.
    EXPECT_TRUE(WebEngineCanStart());
}

}  // namespace

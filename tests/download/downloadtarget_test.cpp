// Naming and creating the local file of a download: names from the site
// stay inside the save folder, a taken name gets a fresh two-character
// suffix (drawn again while taken), and no existing file is ever replaced.

#include "download/downloadtarget.h"
#include "support/testutil.h"
#include "text/errors.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DownloadTargetTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    // The file names in the folder, sorted.
    QStringList names() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System); }
    // A suffix source that plays back `draws` and counts the calls.
    std::function<QString()> scripted(QStringList draws) {
        return [this, draws]() mutable {
            ++drawn;
            return draws.isEmpty() ? QStringLiteral("Zz") : draws.takeFirst();
        };
    }

    QTemporaryDir dir;
    int drawn = 0;
};

TEST(SafeLocalFileName, SeparatorsAndDotNamesCannotLeaveTheFolder) {
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("../../x")), QStringLiteral(".._.._x"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("..\\..\\boot.ini")), QStringLiteral(".._.._boot.ini"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("/etc/passwd")), QStringLiteral("_etc_passwd"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral(".")), QStringLiteral("_"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("..")), QStringLiteral("__"));
    EXPECT_EQ(SafeLocalFileName(QString()), QStringLiteral("_"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("a\tb\nc")), QStringLiteral("a_b_c"));
    EXPECT_EQ(SafeLocalFileName(QString::fromUtf8("项目 计划书.txt")), QString::fromUtf8("项目 计划书.txt"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral(".hidden")), QStringLiteral(".hidden"));
    EXPECT_EQ(SafeLocalFileName(QStringLiteral("a..b")), QStringLiteral("a..b"));
}

TEST(SplitExtension, TheExtensionStartsAtTheLastDot) {
    auto parts = [](const char* name) {
        const FileNameParts p = SplitExtension(QString::fromUtf8(name));
        return p.base + QLatin1Char('|') + p.ext;
    };
    EXPECT_EQ(parts("report.pdf"), QStringLiteral("report|.pdf"));
    EXPECT_EQ(parts("README"), QStringLiteral("README|"));
    EXPECT_EQ(parts("a.tar.gz"), QStringLiteral("a.tar|.gz"));
    EXPECT_EQ(parts(".bashrc"), QStringLiteral("|.bashrc"));
    EXPECT_EQ(parts("name."), QStringLiteral("name|."));
}

TEST(RandomText, DrawsFromAllSixtyTwoLettersAndDigits) {
    QSet<QChar> seen;
    for (int i = 0; i < 2000; ++i) {
        const QString text = RandomText(2);
        ASSERT_EQ(text.size(), 2);
        for (const QChar c : text) {
            ASSERT_TRUE((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                        (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
                << text.toStdString();
            seen.insert(c);
        }
    }
    // 4000 draws miss one of 62 characters with a chance below 1e-26.
    EXPECT_EQ(seen.size(), 62);
}

TEST_F(DownloadTargetTest, AFreeNameIsCreatedEmptyAndOpen) {
    DownloadTarget t = CreateDownloadTarget(folder(), QStringLiteral("report.pdf"), scripted({}));
    EXPECT_EQ(t.path, folder() + QStringLiteral("report.pdf"));
    ASSERT_TRUE(t.file);
    EXPECT_TRUE(t.file->isOpen());
    EXPECT_TRUE(t.file->isWritable());
    EXPECT_EQ(QFileInfo(t.path).size(), 0);
    EXPECT_EQ(drawn, 0);
}

TEST_F(DownloadTargetTest, ATakenNameGetsASuffixBeforeTheExtensionAndTheOldFileStays) {
    WriteFileBytes(dir.filePath(QStringLiteral("report.pdf")), "old");
    WriteFileBytes(dir.filePath(QStringLiteral("README")), "old readme");
    WriteFileBytes(dir.filePath(QStringLiteral("a.tar.gz")), "old archive");
    EXPECT_EQ(CreateDownloadTarget(folder(), QStringLiteral("report.pdf"), scripted({"Xy"})).path,
              folder() + QStringLiteral("report_Xy.pdf"));
    EXPECT_EQ(CreateDownloadTarget(folder(), QStringLiteral("README"), scripted({"Q7"})).path,
              folder() + QStringLiteral("README_Q7"));
    EXPECT_EQ(CreateDownloadTarget(folder(), QStringLiteral("a.tar.gz"), scripted({"b2"})).path,
              folder() + QStringLiteral("a.tar_b2.gz"));
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("report.pdf"))), "old");
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("README"))), "old readme");
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("a.tar.gz"))), "old archive");
}

TEST_F(DownloadTargetTest, SuffixesAreDrawnAgainUntilTheNameIsFree) {
    WriteFileBytes(dir.filePath(QStringLiteral("r.pdf")), "1");
    WriteFileBytes(dir.filePath(QStringLiteral("r_Ab.pdf")), "2");
    QDir(dir.path()).mkdir(QStringLiteral("r_Cd.pdf"));  // a folder takes the name as well
    DownloadTarget t = CreateDownloadTarget(folder(), QStringLiteral("r.pdf"), scripted({"Ab", "Ab", "Cd", "Ef"}));
    EXPECT_EQ(t.path, folder() + QStringLiteral("r_Ef.pdf"));
    EXPECT_EQ(drawn, 4);
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("r_Ab.pdf"))), "2");
}

TEST_F(DownloadTargetTest, ADanglingLinkCountsAsTakenAndIsNotWrittenThrough) {
    const QString outside = dir.filePath(QStringLiteral("outside.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("save")));
    ASSERT_TRUE(QFile::link(outside, dir.filePath(QStringLiteral("save/x.txt"))));
    DownloadTarget t = CreateDownloadTarget(folder() + QStringLiteral("save/"), QStringLiteral("x.txt"), scripted({"Ab"}));
    EXPECT_EQ(t.path, folder() + QStringLiteral("save/x_Ab.txt"));
    EXPECT_FALSE(QFile::exists(outside));
}

TEST_F(DownloadTargetTest, AHostileNameLandsInsideTheFolder) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a/b/save")));
    const QString save = folder() + QStringLiteral("a/b/save/");
    DownloadTarget t = CreateDownloadTarget(save, QStringLiteral("../../x"), scripted({}));
    EXPECT_EQ(t.path, save + QStringLiteral(".._.._x"));
    EXPECT_TRUE(QFile::exists(t.path));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("a/x")));
    DownloadTarget dots = CreateDownloadTarget(save, QStringLiteral(".."), scripted({}));
    EXPECT_EQ(dots.path, save + QStringLiteral("__"));
}

TEST_F(DownloadTargetTest, FailuresRaiseAndCreateNothing) {
    EXPECT_THROW(CreateDownloadTarget(folder() + QStringLiteral("missing/"), QStringLiteral("x"), scripted({})),
                 EInOutError);
    WriteFileBytes(dir.filePath(QStringLiteral("full")), "1");
    WriteFileBytes(dir.filePath(QStringLiteral("full_Zz")), "2");
    // Every suffix taken: given up after the tries allowed, not looped for ever.
    EXPECT_THROW(CreateDownloadTarget(folder(), QStringLiteral("full"), scripted({}), 50), EInOutError);
    EXPECT_EQ(drawn, 50);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("full"), QStringLiteral("full_Zz")}));
}

}  // namespace

#include "config/debuglog.h"
#include "config/settingsfile.h"
#include "config/siteconfig.h"
#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "text/scramble.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class LocalFilesTest : public testing::Test {
protected:
    QTemporaryDir dir;
    LocalFiles files{dir.path()};
};

TEST_F(LocalFilesTest, PathsAreRelativeToTheProgramFolder) {
    EXPECT_EQ(files.programFolder(), dir.path() + QStringLiteral("/"));
    EXPECT_EQ(files.siteConfigFile(), dir.path() + QStringLiteral("/quellix.cfg"));
    EXPECT_EQ(files.skinPackageTemp(QStringLiteral("Blue")), dir.path() + QStringLiteral("/skins/Blue.skn.tmp"));
    EXPECT_EQ(files.downloadsFolder(), dir.path() + QStringLiteral("/Downloads/"));
}

TEST_F(LocalFilesTest, SiteConfigReadsTheSameWhateverTheLineEnding) {
    const QByteArray frame = SiteConfigCodec("http://disk.example/|Demo", CodecDirection::Encode);
    for (const QByteArray& ending : {QByteArray(), QByteArray("\n"), QByteArray("\r\n")}) {
        WriteFileBytes(files.siteConfigFile(), frame + ending);
        const auto config = ReadSiteConfig(files);
        ASSERT_TRUE(config.has_value());
        EXPECT_EQ(config->SiteUrl, "http://disk.example/");
        EXPECT_EQ(config->SiteName, "Demo");
        EXPECT_EQ(config->VendorHomeUrl, "");
    }
}

TEST_F(LocalFilesTest, MissingSiteConfigIsReportedAndABrokenOneRaises) {
    EXPECT_FALSE(ReadSiteConfig(files).has_value());
    WriteFileBytes(files.siteConfigFile(), "not a frame at all, definitely not hex!");
    EXPECT_THROW(ReadSiteConfig(files), EConvertError);
}

TEST_F(LocalFilesTest, ANameWithASpaceNeedsQuotes) {
    EXPECT_EQ(ParseSiteConfigText("http://d/|My Disk").SiteName, "My");
    EXPECT_EQ(ParseSiteConfigText("http://d/|\"My Disk\"").SiteName, "My Disk");
    const SiteConfig whole = ParseSiteConfigText("http://d/");
    EXPECT_EQ(whole.SiteUrl, "http://d/");
    EXPECT_EQ(whole.SiteName, "http://d/");
}

TEST_F(LocalFilesTest, MadeSiteConfigLinesReadBackExactly) {
    const QByteArray name = "我的 网盘|二"_gbk;
    WriteFileBytes(files.siteConfigFile(), MakeSiteConfigLine("http://d/", name, "http://vendor/") + "\r\n");
    const auto config = ReadSiteConfig(files);
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->SiteUrl, "http://d/");
    EXPECT_EQ(config->SiteName, name);
    EXPECT_EQ(config->VendorHomeUrl, "http://vendor/");
}

TEST_F(LocalFilesTest, SettingsFileHoldsExactlyOneLineAfterEachWrite) {
    EXPECT_FALSE(ReadSettingsSkinName(files).has_value());
    WriteSettingsFile(files, "Blue", "alice");
    WriteSettingsFile(files, "Night", "alice");
    const QByteArray content = ReadFileBytes(files.settingsFile());
    EXPECT_EQ(content.count("\r\n"), 1);
    EXPECT_TRUE(content.endsWith("\r\n"));
    EXPECT_EQ(SettingsFileCodec(content, CodecDirection::Decode), "Night|alice");
    EXPECT_EQ(ReadSettingsSkinName(files).value(), "Night");
}

TEST_F(LocalFilesTest, SettingsFileThatCannotBeWrittenRaises) {
    LocalFiles nowhere(dir.filePath(QStringLiteral("missing-folder")));
    EXPECT_THROW(WriteSettingsFile(nowhere, "Blue", "alice"), EInOutError);
}

TEST_F(LocalFilesTest, DebugLogNeedsBothTheMarkerAndTheAccountFlag) {
    WriteDebugLogEntry(files, true, {"a"});
    EXPECT_FALSE(QFile::exists(files.debugLog()));  // no marker
    WriteFileBytes(files.debugMarker(), "");
    WriteDebugLogEntry(files, false, {"b"});
    EXPECT_FALSE(QFile::exists(files.debugLog()));  // flag not set
    WriteDebugLogEntry(files, true, {"c", "d"});
    WriteDebugLogEntry(files, true, {"e"});
    EXPECT_EQ(ReadFileBytes(files.debugLog()), "c\nd\ne\n");
}

}  // namespace

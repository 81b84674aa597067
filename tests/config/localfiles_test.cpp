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
#include <unistd.h>

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

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

TEST(InstalledFiles, WrittenFilesGoToTheUsersFoldersAndShippedOnesStayInTheProgramFolder) {
    QTemporaryDir root;
    const QString program = root.filePath(QStringLiteral("lib/quellix"));
    const QString data = root.filePath(QStringLiteral("data/quellix"));
    const QString system = root.filePath(QStringLiteral("etc/quellix.cfg"));
    const LocalFiles files(program, {data, root.filePath(QStringLiteral("Downloads")), system});
    EXPECT_EQ(files.mode(), LocalFiles::Mode::Installed);
    EXPECT_EQ(files.dataFolder(), data + "/");
    EXPECT_EQ(files.settingsFile(), data + "/settings.cfg");
    EXPECT_EQ(files.skinPackage(QStringLiteral("Blue")), data + "/skins/Blue.skn");
    EXPECT_EQ(files.debugLog(), data + "/debug.txt");
    EXPECT_EQ(files.debugMarker(), data + "/quellix.debug");
    EXPECT_EQ(files.downloadsFolder(), root.filePath(QStringLiteral("Downloads/")));
    EXPECT_EQ(files.infoText(), program + "/info.txt");
    EXPECT_EQ(files.loadingPicture(), program + "/res/loading.jpg");
    EXPECT_EQ(files.okSound(), program + "/ok.wav");

    // quellix.cfg: the user's, then the operator's, then the one beside the
    // program; with none, the user's is the one to write.
    const QString user = data + "/quellix.cfg";
    const QString beside = program + "/quellix.cfg";
    EXPECT_EQ(files.siteConfigCandidates(), QStringList({user, system, beside}));
    EXPECT_EQ(files.siteConfigFile(), user);
    EXPECT_FALSE(ReadSiteConfig(files).has_value());
    ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(root.filePath(QStringLiteral("etc"))));
    WriteFileBytes(beside, MakeSiteConfigLine("http://beside/", "B"));
    EXPECT_EQ(ReadSiteConfig(files)->SiteUrl, "http://beside/");
    WriteFileBytes(system, MakeSiteConfigLine("http://system/", "S"));
    EXPECT_EQ(ReadSiteConfig(files)->SiteUrl, "http://system/");
    WriteUserSiteConfig(files, "http://user.example:8080/disk", "我的 网盘"_gbk);
    const auto config = ReadSiteConfig(files);
    EXPECT_EQ(files.siteConfigFile(), user);
    EXPECT_EQ(config->SiteUrl, "http://user.example:8080/disk/");
    EXPECT_EQ(config->SiteName, "我的 网盘"_gbk);

    // A portable copy reads only the one beside it.
    EXPECT_EQ(LocalFiles(program).siteConfigCandidates(), QStringList({beside}));
    EXPECT_EQ(ReadSiteConfig(LocalFiles(program))->SiteUrl, "http://beside/");
}

TEST(InstalledFiles, TheModeFollowsWhetherTheProgramFolderCanBeWritten) {
    QTemporaryDir dir;
    EXPECT_EQ(LocalFiles::ModeOf(dir.path()), LocalFiles::Mode::Portable);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());  // the write probe leaves nothing
    EXPECT_EQ(LocalFiles::ModeOf(dir.filePath(QStringLiteral("missing"))), LocalFiles::Mode::Installed);
    // Root may write under /usr; a program there is installed all the same.
    EXPECT_EQ(LocalFiles::ModeOf(QStringLiteral("/usr/lib/quellix")), LocalFiles::Mode::Installed);
    EXPECT_EQ(LocalFiles::ModeOf(QStringLiteral("/usr/../tmp/../usr/bin")), LocalFiles::Mode::Installed);
    {
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        // Root writes into a read-only folder; anyone else gets installed mode.
        if (geteuid() != 0) {
            EXPECT_EQ(LocalFiles::ModeOf(dir.path()), LocalFiles::Mode::Installed);
        }
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    {
        const ScopedEnv forced("QUELLIX_FILE_MODE", "installed");
        const ScopedEnv dataHome("XDG_DATA_HOME", dir.filePath(QStringLiteral("share")).toUtf8());
        const LocalFiles files = LocalFiles::ForProgramFolder(dir.path());
        EXPECT_EQ(files.mode(), LocalFiles::Mode::Installed);
        EXPECT_EQ(files.dataFolder(), dir.filePath(QStringLiteral("share/quellix/")));
        EXPECT_EQ(files.siteConfigCandidates().at(1), QStringLiteral("/etc/quellix/quellix.cfg"));
    }
    {
        const ScopedEnv forced("QUELLIX_FILE_MODE", "portable");
        EXPECT_EQ(LocalFiles::ForProgramFolder(QStringLiteral("/usr/lib/quellix")).dataFolder(),
                  QStringLiteral("/usr/lib/quellix/"));
    }
}

}  // namespace

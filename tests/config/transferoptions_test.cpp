#include "config/settingsfile.h"
#include "config/transferoptions.h"
#include "support/testutil.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TransferOptionsTest : public testing::Test {
protected:
    QTemporaryDir dir;
    LocalFiles files{dir.path()};
};

TEST_F(TransferOptionsTest, MissingFileGivesTheDefaults) {
    const TransferOptions o = ReadTransferOptions(files);
    EXPECT_EQ(o, TransferOptions{});
    EXPECT_EQ(o.parallelUploads, 2);
    EXPECT_EQ(o.downloadConnections, 2);
    EXPECT_TRUE(o.notifications);
    EXPECT_EQ(files.optionsFile(), dir.path() + QStringLiteral("/quellix.ini"));
}

TEST_F(TransferOptionsTest, WrittenOptionsReadBackAndLeaveSettingsFileAlone) {
    WriteSettingsFile(files, "Blue", "demo");
    const QByteArray settingsBefore = ReadFileBytes(files.settingsFile());
    TransferOptions o;
    o.parallelUploads = 4;
    o.parallelDownloads = 3;
    o.downloadConnections = 8;
    o.resumeDownloadsAtLogin = true;
    o.uploadLimitKBps = 512;
    o.downloadLimitKBps = 2048;
    o.proxy = {ProxyMode::Socks5, QStringLiteral("127.0.0.1"), 1080, QStringLiteral("用户")};
    o.rememberPassword = true;
    o.autoLogin = true;
    o.savedAccount = QStringLiteral("演示");
    o.notifications = false;
    ASSERT_TRUE(WriteTransferOptions(files, o));
    EXPECT_EQ(ReadTransferOptions(files), o);
    EXPECT_EQ(ReadFileBytes(files.settingsFile()), settingsBefore);
}

TEST_F(TransferOptionsTest, BadOrOutOfBoundValuesGiveDefaultsOrBoundsAndUnknownKeysSurvive) {
    {
        QSettings ini(files.optionsFile(), QSettings::IniFormat);
        ini.setValue("transfer/parallelUploads", 99);
        ini.setValue("transfer/downloadConnections", 0);
        ini.setValue("transfer/parallelDownloads", "many");
        ini.setValue("limits/uploadKBps", -5);
        ini.setValue("proxy/mode", "gopher");
        ini.setValue("proxy/port", 70000);
        ini.setValue("desktop/notifications", "perhaps");
        ini.setValue("future/option", "kept");
    }
    TransferOptions o = ReadTransferOptions(files);
    EXPECT_EQ(o.parallelUploads, TransferOptions::kMaxParallel);
    EXPECT_EQ(o.downloadConnections, 1);
    EXPECT_EQ(o.parallelDownloads, 2);
    EXPECT_EQ(o.uploadLimitKBps, 0);
    EXPECT_EQ(o.proxy.mode, ProxyMode::None);
    EXPECT_EQ(o.proxy.port, 65535);
    EXPECT_TRUE(o.notifications);
    ASSERT_TRUE(WriteTransferOptions(files, o));
    EXPECT_EQ(QSettings(files.optionsFile(), QSettings::IniFormat).value("future/option").toString(), "kept");
}

}  // namespace

// The skin window's work against a scripted skin server: previews fetched
// with the placeholder meanwhile, packages fetched and applied to every
// window, the settings file written at once, temporary files that become
// the real ones only when complete, transfers that end under the name they
// were started for, the busy temporary file, and deleting.

#include "config/settingsfile.h"
#include "platform/gui/skindata.h"
#include "skinmgr/skinmanager.h"
#include "skinserver.h"
#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "text/scramble.h"
#include "text/textfile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Then = HttpReply::Then;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QString ServerFile(const char* name) {
    return QStringLiteral(QUELLIX_SKIN_SERVER_DIR) + QLatin1Char('/') + QLatin1String(name);
}

class SkinManagerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("skins")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("res")));
        ASSERT_TRUE(QFile::copy(ProgramDir() + QStringLiteral("/res/loading.jpg"), files.loadingPicture()));
        for (const char* name : {"Jade", "Amber"}) {
            server.packages[name] = ReadFileBytes(ServerFile(name) + QStringLiteral(".skn"));
            server.previews[name] = ReadFileBytes(ServerFile(name) + QStringLiteral(".jpg"));
            ASSERT_FALSE(server.packages[name].isEmpty());
            ASSERT_FALSE(server.previews[name].isEmpty());
        }
        skinData.LoadBuiltIn();
        session.AccountName = "alice";
        settings.Branding = "Demo|h|a|s|v|Laconic,Jade,Amber|n";
        vendor = server.vendorUrl();
        manager = std::make_unique<SkinManager>(files, skinData, session, settings, vendor);
        manager->ShowPicture = [this](const QString& path) { pictures << QFileInfo(path).fileName(); };
        manager->SetStatusText = [this](const QString& text) { statuses << text; };
        for (SkinTransfer* t : {&manager->PackageTransfer, &manager->PreviewTransfer})
            t->Http.StallTimeout = 3000;
    }
    void TearDown() override {
        manager.reset();
        qApp->setStyleSheet(QString());
    }
    QString skins(const QString& name) const { return files.skinsFolder() + name; }
    bool waitIdle(SkinTransfer& t) { return WaitFor([&] { return !t.Running(); }, 15000); }
    QByteArray settingsLine() const {
        return SettingsFileCodec(ReadTextFileJoined(files.settingsFile()), CodecDirection::Decode);
    }

    QTemporaryDir dir;
    LocalFiles files{dir.path()};
    FakeSkinServer server;
    TSkinData skinData;
    SiteSession session;
    TSiteSettings settings;
    QByteArray vendor;
    std::unique_ptr<SkinManager> manager;
    QStringList pictures;
    QStringList statuses;
};

TEST_F(SkinManagerTest, AMissingPreviewIsFetchedAndShownWhenComplete) {
    manager->SelectedSkin = "Jade";
    manager->ShowLoading();
    manager->PreviewSelected();
    EXPECT_TRUE(manager->PreviewTransfer.Running());
    ASSERT_TRUE(waitIdle(manager->PreviewTransfer));
    EXPECT_EQ(pictures, QStringList({QStringLiteral("loading.jpg"), QStringLiteral("Jade.jpg")}));
    EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.jpg"))), server.previews["Jade"]);
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Jade.jpg.tmp"))));
    ASSERT_GE(server.requestsFor("downimg").size(), 1);
    EXPECT_EQ(server.requestsFor("downimg").first().path, "/vendor/plugins/getskin.php?action=downimg&skin_id=Jade");
    EXPECT_TRUE(server.requestsFor("downskin").isEmpty());  // a preview fetches no package
    EXPECT_TRUE(statuses.isEmpty());
}

TEST_F(SkinManagerTest, PreviewsOnDiskNeedNoRequestAndAnEmptyOneShowsThePlaceholder) {
    WriteFileBytes(skins(QStringLiteral("Jade.jpg")), server.previews["Jade"]);
    WriteFileBytes(skins(QStringLiteral("Amber.jpg")), QByteArray());
    manager->SelectedSkin = "Jade";
    manager->PreviewSelected();
    manager->SelectedSkin = "Amber";
    manager->PreviewSelected();
    EXPECT_EQ(pictures, QStringList({QStringLiteral("Jade.jpg"), QStringLiteral("loading.jpg")}));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(SkinManagerTest, ARefusedPreviewLeavesItsTemporaryFileAndSaysItIsMissing) {
    manager->SelectedSkin = "Nope";
    manager->PreviewSelected();
    ASSERT_TRUE(waitIdle(manager->PreviewTransfer));
    EXPECT_EQ(statuses, QStringList({u("预览图文件【Nope】不存在")}));
    EXPECT_TRUE(QFile::exists(skins(QStringLiteral("Nope.jpg.tmp"))));
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Nope.jpg"))));
    EXPECT_TRUE(pictures.isEmpty());
}

TEST_F(SkinManagerTest, ApplyingAMissingSkinWritesTheSettingsAtOnceAndAppliesThePackageWhenItArrives) {
    manager->SelectedSkin = "Jade";
    manager->Apply();
    // Before the package has arrived: the settings file names the skin.
    EXPECT_TRUE(manager->PackageTransfer.Running());
    EXPECT_EQ(settingsLine(), "Jade|alice");
    EXPECT_TRUE(skinData.LoadedFile().isEmpty());  // still the built-in skin
    ASSERT_TRUE(waitIdle(manager->PackageTransfer));
    EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.skn"))), server.packages["Jade"]);
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Jade.skn.tmp"))));
    EXPECT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Jade.skn")));
    EXPECT_EQ(qApp->styleSheet(), skinData.StyleSheet());
    EXPECT_EQ(server.requestsFor("downskin", "Jade").first().path,
              "/vendor/plugins/getskin.php?action=downskin&skin_id=Jade");
    // A skin on disk is applied without a request; the settings file still
    // holds exactly one line.
    const int requests = server.requestCount();
    manager->SelectedSkin = "Jade";
    manager->Apply();
    EXPECT_EQ(server.requestCount(), requests);
    EXPECT_EQ(ReadFileBytes(files.settingsFile()).count("\r\n"), 1);
    EXPECT_TRUE(ReadFileBytes(files.settingsFile()).endsWith("\r\n"));
}

TEST_F(SkinManagerTest, APackageThatBreaksOffNeverBecomesTheSkin) {
    // The second range is cut off after 10 bytes, and its continuations
    // bring nothing more.
    qint64 secondStart = -1;
    server.fault = [&](const RangeRequest& r, const QByteArray& document) -> std::optional<HttpReply> {
        if (r.begin <= 0)
            return std::nullopt;
        if (secondStart < 0)
            secondStart = r.begin;
        return HttpReply{FakeSkinServer::RangedReply(document, r, r.begin == secondStart ? 10 : 0)};
    };
    manager->HttpDownFile.RetryDelay = 1;
    manager->SelectedSkin = "Jade";
    manager->Apply();
    ASSERT_TRUE(waitIdle(manager->PackageTransfer));
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Jade.skn"))));
    EXPECT_TRUE(QFile::exists(skins(QStringLiteral("Jade.skn.tmp"))));
    EXPECT_EQ(statuses, QStringList({u("皮肤文件【Jade】下载失败")}));
    EXPECT_TRUE(skinData.LoadedFile().isEmpty());
    EXPECT_EQ(settingsLine(), "Jade|alice");  // the choice was remembered at the click
}

TEST_F(SkinManagerTest, AnEmptyOrRefusedPackageIsMissing) {
    server.packages["Empty"] = QByteArray();
    for (const char* name : {"Empty", "Nope"}) {
        statuses.clear();
        manager->SelectedSkin = name;
        manager->Apply();
        ASSERT_TRUE(waitIdle(manager->PackageTransfer));
        EXPECT_EQ(statuses, QStringList({u("皮肤文件【") + QLatin1String(name) + u("】不存在")}));
        EXPECT_FALSE(QFile::exists(skins(QLatin1String(name) + QStringLiteral(".skn"))));
    }
    EXPECT_TRUE(skinData.LoadedFile().isEmpty());
}

TEST_F(SkinManagerTest, AFinishedTransferEndsUnderTheNameItWasStartedFor) {
    // The transfers of Jade end slowly: the last 30 bytes of each range
    // come one every 10 ms.
    server.fault = [](const RangeRequest& r, const QByteArray& document) -> std::optional<HttpReply> {
        const QByteArray bytes = FakeSkinServer::RangedReply(document, r);
        if (r.begin < 0 || !r.path.endsWith("skin_id=Jade"))
            return std::nullopt;
        return HttpReply{bytes, Then::Trickle, 10, int(bytes.size()) - 30};
    };
    WriteFileBytes(skins(QStringLiteral("Amber.jpg")), server.previews["Amber"]);
    manager->SelectedSkin = "Jade";
    manager->PreviewSelected();
    manager->Apply();
    // Another skin is selected while both transfers run.
    manager->SelectedSkin = "Amber";
    manager->PreviewSelected();
    ASSERT_TRUE(waitIdle(manager->PackageTransfer));
    ASSERT_TRUE(waitIdle(manager->PreviewTransfer));
    EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.skn"))), server.packages["Jade"]);
    EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.jpg"))), server.previews["Jade"]);
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Amber.skn"))));
    // The package applied is the one fetched; the preview shown stays the
    // selected skin's.
    EXPECT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Jade.skn")));
    EXPECT_EQ(pictures, QStringList({QStringLiteral("Amber.jpg")}));
    EXPECT_EQ(manager->SelectedSkin, "Amber");
}

TEST_F(SkinManagerTest, APreviewStillBeingWrittenIsNeitherRestartedNorTruncated) {
    // Jade's preview ranges send their first 100 bytes, then one byte every
    // 200 ms.
    server.fault = [](const RangeRequest& r, const QByteArray& document) -> std::optional<HttpReply> {
        if (r.begin < 0)
            return std::nullopt;
        const QByteArray bytes = FakeSkinServer::RangedReply(document, r);
        return HttpReply{bytes, Then::Trickle, 200, int(bytes.indexOf("\r\n\r\n")) + 4 + 100};
    };
    manager->SelectedSkin = "Jade";
    manager->PreviewSelected();
    ASSERT_TRUE(WaitFor([&] { return manager->HttpImg.TotalCount() >= 200; }));
    const int requests = server.requestCount();
    manager->PreviewSelected();  // a second click on the same skin
    EXPECT_EQ(server.requestCount(), requests);
    EXPECT_TRUE(manager->PreviewTransfer.Running());
    EXPECT_EQ(manager->HttpImg.state(), TMultipartHttpDownloader::State::RangesRunning);
    EXPECT_GE(QFileInfo(skins(QStringLiteral("Jade.jpg.tmp"))).size(), 100);
    // Another skin's preview replaces the transfer; the earlier temporary
    // file is closed, so Jade can be fetched anew later.
    manager->SelectedSkin = "Amber";
    manager->PreviewSelected();
    ASSERT_TRUE(WaitFor([&] { return manager->HttpImg.TotalCount() >= 200; }));
    manager->SelectedSkin = "Jade";
    const int before = int(server.requestsFor("downimg", "Jade").size());
    manager->PreviewSelected();
    EXPECT_TRUE(WaitFor([&] { return server.requestsFor("downimg", "Jade").size() > before; }));
}

TEST_F(SkinManagerTest, DeletingRemovesOnlyThePackageAndTheSkinInUseStays) {
    WriteFileBytes(skins(QStringLiteral("Jade.skn")), server.packages["Jade"]);
    WriteFileBytes(skins(QStringLiteral("Jade.jpg")), server.previews["Jade"]);
    manager->SelectedSkin = "Jade";
    manager->Apply();
    const QString sheet = qApp->styleSheet();
    ASSERT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Jade.skn")));
    EXPECT_TRUE(manager->HasPackage("Jade"));
    EXPECT_TRUE(manager->DeleteSelected());
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Jade.skn"))));
    EXPECT_TRUE(QFile::exists(skins(QStringLiteral("Jade.jpg"))));
    EXPECT_EQ(qApp->styleSheet(), sheet);
    EXPECT_EQ(settingsLine(), "Jade|alice");
    EXPECT_FALSE(manager->HasPackage("Jade"));
    EXPECT_FALSE(manager->DeleteSelected());  // nothing left to delete
}

TEST_F(SkinManagerTest, NoSelectionOrAnUnsafeNameDoesNothing) {
    WriteFileBytes(dir.filePath(QStringLiteral("x.skn")), server.packages["Jade"]);
    for (const QByteArray& name : {QByteArray(), QByteArray("../x"), QByteArray("..")}) {
        manager->SelectedSkin = name;
        manager->PreviewSelected();
        manager->Apply();
        EXPECT_FALSE(manager->DeleteSelected());
    }
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_FALSE(QFile::exists(files.settingsFile()));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("x.skn"))));
    EXPECT_TRUE(skinData.LoadedFile().isEmpty());
}

TEST_F(SkinManagerTest, ADamagedPackageOnDiskRaisesAndTheSkinInUseStays) {
    WriteFileBytes(skins(QStringLiteral("Jade.skn")), "not a skin package");
    manager->SelectedSkin = "Jade";
    EXPECT_THROW(manager->Apply(), QxError);
    EXPECT_TRUE(skinData.LoadedFile().isEmpty());
    EXPECT_FALSE(QFile::exists(files.settingsFile()));
}

TEST_F(SkinManagerTest, ATemporaryFileThatCannotBeCreatedRaises) {
    ASSERT_TRUE(QDir(files.skinsFolder()).removeRecursively());
    manager->SelectedSkin = "Jade";
    EXPECT_THROW(manager->Apply(), EInOutError);
    EXPECT_THROW(manager->PreviewSelected(), EInOutError);
    EXPECT_EQ(server.requestCount(), 0);
}

}  // namespace

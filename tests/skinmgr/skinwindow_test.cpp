// The skin window driven with the mouse and the keyboard against a scripted
// skin server: the window follows the highlighted entry however it moved,
// and a package that arrives late never overrides a skin applied after it.

#include "config/settingsfile.h"
#include "platform/gui/jpegpicture.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "skinmgr/uSkin.h"
#include "skinserver.h"
#include "support/testutil.h"
#include "text/scramble.h"
#include "text/textfile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString ServerFile(const QString& name) { return QStringLiteral(QUELLIX_SKIN_SERVER_DIR) + QLatin1Char('/') + name; }

class SkinWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("skins")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("res")));
        ASSERT_TRUE(QFile::copy(ProgramDir() + QStringLiteral("/res/loading.jpg"), files.loadingPicture()));
        for (const char* name : {"Jade", "Amber"}) {
            server.packages[name] = ReadFileBytes(ServerFile(QLatin1String(name) + QStringLiteral(".skn")));
            server.previews[name] = ReadFileBytes(ServerFile(QLatin1String(name) + QStringLiteral(".jpg")));
            ASSERT_FALSE(server.packages[name].isEmpty());
        }
        // Every preview is on disk; of the packages only Amber's.
        WriteFileBytes(skins(QStringLiteral("Laconic.jpg")), server.previews["Jade"]);
        WriteFileBytes(skins(QStringLiteral("Jade.jpg")), server.previews["Jade"]);
        WriteFileBytes(skins(QStringLiteral("Amber.jpg")), server.previews["Amber"]);
        WriteFileBytes(skins(QStringLiteral("Amber.skn")), server.packages["Amber"]);
        skinData.LoadBuiltIn();
        session.AccountName = "alice";
        session.SkinName = "Laconic";
        settings.Branding = "Demo|h|a|s|v|Laconic,Jade,Amber|n";
        vendor = server.vendorUrl();
        msgDlg.Interceptor = [this](const MsgDlgMessage& m) {
            messages << m.text;
            return TModalResult::mrOk;
        };
        window = std::make_unique<TSkinFrm>(files, msgDlg, skinData, session, settings, vendor);
        window->show();
        ASSERT_EQ(window->SLBox->currentRow(), 0);
        ASSERT_EQ(window->SelectedSkin, "Laconic");
    }
    void TearDown() override {
        window.reset();
        qApp->setStyleSheet(QString());
    }
    QString skins(const QString& name) const { return files.skinsFolder() + name; }
    void clickRow(int row) {
        QListWidget& list = *window->SLBox;
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
    }
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
    TMsgDlg msgDlg;
    QStringList messages;
    std::unique_ptr<TSkinFrm> window;
};

TEST_F(SkinWindowTest, ArrowKeysMoveTheSkinThePreviewAndTheButtonsActOn) {
    QTest::keyClick(window->SLBox, Qt::Key_Down);
    EXPECT_EQ(window->SelectedSkin, "Jade");
    EXPECT_EQ(window->PVImg->FileName(), skins(QStringLiteral("Jade.jpg")));
    EXPECT_FALSE(window->SKBtnDel->isEnabled());  // no package on disk

    QTest::keyClick(window->SLBox, Qt::Key_Down);
    EXPECT_EQ(window->SelectedSkin, "Amber");
    EXPECT_EQ(window->PVImg->FileName(), skins(QStringLiteral("Amber.jpg")));
    ASSERT_TRUE(window->SKBtnDel->isEnabled());
    QTest::mouseClick(window->SKBtnDel, Qt::LeftButton);
    EXPECT_EQ(messages, QStringList{QString::fromUtf8("确认删除此皮肤？")});
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Amber.skn"))));

    QTest::keyClick(window->SLBox, Qt::Key_Home);
    EXPECT_EQ(window->SelectedSkin, "Laconic");
    EXPECT_EQ(window->PVImg->FileName(), skins(QStringLiteral("Laconic.jpg")));
    EXPECT_EQ(server.requestCount(), 0);
}

TEST_F(SkinWindowTest, APackageArrivingAfterAnotherSkinWasAppliedIsOnlyStored) {
    clickRow(1);  // Jade: its package is fetched
    QTest::mouseClick(window->SKBtnApply, Qt::LeftButton);
    clickRow(2);  // Amber: on disk, applied at once
    QTest::mouseClick(window->SKBtnApply, Qt::LeftButton);
    ASSERT_TRUE(window->Manager.PackageTransfer.Running());
    EXPECT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Amber.skn")));
    EXPECT_EQ(settingsLine(), "Amber|alice");

    ASSERT_TRUE(WaitFor([&] { return !window->Manager.PackageTransfer.Running(); }, 15000));
    EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.skn"))), server.packages["Jade"]);
    EXPECT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Amber.skn")));
    EXPECT_EQ(settingsLine(), "Amber|alice");

    // Applied again, Jade comes from disk at once.
    const int requests = server.requestCount();
    clickRow(1);
    QTest::mouseClick(window->SKBtnApply, Qt::LeftButton);
    EXPECT_EQ(skinData.LoadedFile(), skins(QStringLiteral("Jade.skn")));
    EXPECT_EQ(settingsLine(), "Jade|alice");
    EXPECT_EQ(server.requestCount(), requests);
}

}  // namespace

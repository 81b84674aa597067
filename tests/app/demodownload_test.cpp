// Downloads and skins against the real demo site: files arrive byte for byte
// in the default and a chosen folder, taken names get fresh suffixes, an
// empty file and a refused download both end as "does not exist"; the skin window
// lists the offered skins, fetches previews and packages from the skin
// server, applies a skin to every window, remembers it and deletes it.

#include "app/Main.h"
#include "app/program.h"
#include "config/settingsfile.h"
#include "disk/gui/folderlisting.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "platform/gui/jpegpicture.h"
#include "skinmgr/uSkin.h"
#include "support/demosite.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class DemoTransferTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        site_ = new DemoSite({QStringLiteral("--big-file-mib"), QStringLiteral("1"), QStringLiteral("--skins-dir"),
                              QStringLiteral(QUELLIX_SKIN_SERVER_DIR), QStringLiteral("--skin-names"),
                              QStringLiteral("Laconic,Jade,Amber,Midnight,Ghost")});
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString();
        ASSERT_TRUE(site_->writeSiteConfig(dir.path()));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("res")));
        ASSERT_TRUE(QFile::copy(ProgramDir() + QStringLiteral("/res/loading.jpg"),
                                dir.filePath(QStringLiteral("res/loading.jpg"))));
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
        program = std::make_unique<QuellixProgram>(dir.path(), [this](const MsgDlgMessage& m) {
            messages.append(m);
            return answerWith;
        });
        program->Start();
        TDownFrm& down = *program->DownFrm;
        program->MainFrm->DownloadPage().PlaySound = [this](const QString& file) {
            sounds << QFileInfo(file).fileName();
        };
        down.ChooseFolder = [this](QWidget*, const QString&) { return chosenFolder; };
        down.OpenFolder = [](const QString&) {};
        login();
    }
    void TearDown() override {
        program.reset();
        qApp->setStyleSheet(QString());
        SetErrorReportSink(nullptr);
    }
    void login() {
        const DemoAccount account = site_->account(QStringLiteral("demo"));
        TLoginFrm& login = *program->LoginFrm;
        login.ED_User->setText(account.name);
        login.ED_Pwd->setText(account.password);
        QTest::mouseClick(login.btnLogin, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000));
        ASSERT_TRUE(listed());
        ASSERT_TRUE(WaitFor([&] { return main().HttpLoadSet.ReceiveStream == nullptr && !main().windowTitle().isEmpty(); },
                            20000));
    }
    bool listed() {
        return WaitFor([&] { return main().Browser().HttpMydisk.ReceiveStream == nullptr && main().lv1->Count() > 0 &&
                                    !main().loading->isVisible(); },
                       20000);
    }
    TMainFrm& main() { return *program->MainFrm; }
    TDownFrm& down() { return *program->DownFrm; }
    TSkinFrm& skin() { return *program->SkinFrm; }
    int row(const char* caption) {
        for (int r = 0; r < main().lv1->Count(); ++r)
            if (main().lv1->Caption(r) == u(caption))
                return r;
        ADD_FAILURE() << "no row " << caption;
        return -1;
    }
    void selectOnly(int r) {
        for (int i = 0; i < main().lv1->Count(); ++i)
            main().lv1->SetSelected(i, i == r);
    }
    // Runs `inside` while `window` is open modally (opened by `open`) and
    // closes it afterwards.
    void whileOpen(QDialog& window, const std::function<void()>& open, const std::function<void()>& inside) {
        bool shown = false;
        QTimer::singleShot(0, [&] {
            shown = window.isVisible();
            if (shown)
                inside();
            window.close();
        });
        open();
        EXPECT_TRUE(shown);
    }
    DownloadScheduler& queue() { return main().Downloads(); }
    // Downloads the file of row `caption` from the download window with
    // "立即下载" and waits for its end.
    void download(const char* caption, const std::function<void()>& beforeStart = nullptr) {
        selectOnly(row(caption));
        const int rows = queue().Queue.Count();
        whileOpen(down(), [&] { main().NDownClick(); },
                  [&] {
                      if (beforeStart)
                          beforeStart();
                      QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
                  });
        ASSERT_TRUE(WaitFor([&] { return queue().Queue.Count() == rows + 1 && queue().AtRest(); }, 30000));
    }
    // Where the last queued file went.
    QString lastPath() { return queue().Queue.Row(queue().Queue.Count() - 1).LocalPath; }
    // The file as the site keeps it.
    QByteArray siteFile(const QString& relative) const {
        return ReadFileBytes(site_->dataDir() + QStringLiteral("/disk/demo/") + relative);
    }
    QString downloads() const { return dir.filePath(QStringLiteral("Downloads/")); }
    QString skins(const QString& name) const { return dir.filePath(QStringLiteral("skins/") + name); }
    QByteArray skinServerFile(const QString& name) const {
        return ReadFileBytes(QStringLiteral(QUELLIX_SKIN_SERVER_DIR) + QLatin1Char('/') + name);
    }
    QList<LoggedRequest> skinRequests(const QByteArray& action) const {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : site_->requests())
            if (r.target.contains("getskin.php?action=" + action))
                found.append(r);
        return found;
    }
    void clickSkin(int row) {
        QListWidgetItem* item = skin().SLBox->item(row);
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(skin().SLBox->viewport(), Qt::LeftButton, {}, skin().SLBox->visualItemRect(item).center());
    }

    static DemoSite* site_;
    QTemporaryDir dir;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
    QStringList sounds;
    QString chosenFolder;
    TModalResult answerWith = TModalResult::mrOk;
};

DemoSite* DemoTransferTest::site_ = nullptr;

TEST_F(DemoTransferTest, FilesArriveWholeAndTakenNamesGetFreshSuffixes) {
    download("readme.txt");
    const QByteArray readme = siteFile(QStringLiteral("readme.txt"));
    ASSERT_FALSE(readme.isEmpty());
    EXPECT_EQ(ReadFileBytes(downloads() + QStringLiteral("readme.txt")), readme);
    EXPECT_EQ(main().spStatus1->text(), u("文件【readme.txt】下载完成"));
    EXPECT_EQ(main().pb1->value(), 0);

    // Again, after the user changed the first copy: a new name, the first
    // copy untouched.
    WriteFileBytes(downloads() + QStringLiteral("readme.txt"), "my edits");
    download("readme.txt");
    const QString second = QFileInfo(lastPath()).fileName();
    EXPECT_TRUE(second.startsWith(QStringLiteral("readme_")) && second.endsWith(QStringLiteral(".txt")) &&
                second.size() == 13)
        << second.toStdString();
    EXPECT_EQ(ReadFileBytes(downloads() + second), readme);
    EXPECT_EQ(ReadFileBytes(downloads() + QStringLiteral("readme.txt")), "my edits");

    // A name without an extension: the suffix goes at the end.
    download("无扩展名文件");
    download("无扩展名文件");
    const QString plain = QFileInfo(lastPath()).fileName();
    EXPECT_TRUE(plain.startsWith(u("无扩展名文件_")) && plain.size() == 9) << plain.toStdString();
    EXPECT_EQ(ReadFileBytes(downloads() + plain), siteFile(u("无扩展名文件")));
    EXPECT_EQ(ReadFileBytes(downloads() + u("无扩展名文件")), siteFile(u("无扩展名文件")));
    EXPECT_EQ(sounds, QStringList(4, QStringLiteral("ok.wav")));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DemoTransferTest, ALargeFileGoesToAChosenFolderWithTheGaugeFollowing) {
    QTemporaryDir chosen;
    chosenFolder = chosen.path();
    selectOnly(row("软件"));
    main().Browser().lv1Click();
    main().lv1DblClick();
    ASSERT_TRUE(WaitFor([&] { return main().lv1->Count() == 2 && main().Browser().HttpMydisk.ReceiveStream == nullptr; },
                        20000));
    ASSERT_TRUE(listed());
    QList<int> gauge;
    QObject::connect(main().pb1, &QProgressBar::valueChanged, [&](int v) { gauge << v; });
    download("大文件 64MB.bin", [&] { QTest::mouseClick(down().spSkinSpeedButton1, Qt::LeftButton); });
    const QByteArray big = siteFile(u("软件/大文件 64MB.bin"));
    EXPECT_EQ(big.size(), 1024 * 1024);
    EXPECT_EQ(ReadFileBytes(chosen.filePath(u("大文件 64MB.bin"))), big);
    EXPECT_FALSE(QFile::exists(downloads() + u("大文件 64MB.bin")));
    EXPECT_EQ(down().dl_dir->currentText(), chosen.path() + QLatin1Char('/'));
    EXPECT_TRUE(gauge.contains(100));
    EXPECT_EQ(gauge.last(), 0);
    EXPECT_EQ(main().spStatus1->text(), u("文件【大文件 64MB.bin】下载完成"));
}

TEST_F(DemoTransferTest, AnEmptyFileAndARefusedOneDoNotExistAndLeaveNoFile) {
    // An empty reply is how site scripts refuse a download: no success,
    // and no empty file that would look like one.
    download("空文件.txt");
    EXPECT_EQ(main().spStatus1->text(), u("文件【空文件.txt】不存在"));
    EXPECT_FALSE(QFileInfo::exists(downloads() + u("空文件.txt")));

    // A file the site no longer has (its id is unknown): refused.
    const int r = row("my notes.txt");
    main().lv1->SetSubItem(r, ListingColumn::Id, QStringLiteral("999999"));
    download("my notes.txt");
    EXPECT_EQ(main().spStatus1->text(), u("文件【my notes.txt】不存在"));
    EXPECT_FALSE(QFileInfo::exists(downloads() + QStringLiteral("my notes.txt")));
    EXPECT_TRUE(QDir(downloads()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav"), QStringLiteral("error.wav")}));
}

TEST_F(DemoTransferTest, ASelectionOfFilesAndFoldersIsQueuedWithTheTreeKept) {
    // Two folders (one with a folder inside) and two files, while a file
    // already runs: none stops another.
    download("readme.txt");
    selectOnly(row("文档"));
    main().lv1->SetSelected(row("图片"), true);
    main().lv1->SetSelected(row("my notes.txt"), true);
    main().lv1->SetSelected(row("无扩展名文件"), true);
    whileOpen(down(), [&] { main().NDownClick(); },
              [&] {
                  EXPECT_EQ(down().dl_name->text(), u("2 个文件，2 个目录"));
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
              });
    ASSERT_TRUE(WaitFor([&] { return queue().Queue.Count() == 1 + 2 + 6 && queue().AtRest(); }, 30000));
    for (const DownloadRow& r : queue().Queue.Rows())
        EXPECT_EQ(r.State, RowState::Complete) << r.Item.Name.toStdString();
    for (const QString& file : {u("my notes.txt"), u("无扩展名文件"), u("文档/项目 计划书.txt"), u("文档/会议纪要.md"),
                                u("文档/报告/2023 年度总结.pdf"), u("文档/报告/销售数据.csv"), u("图片/日落 sunset.png"),
                                u("图片/旅行/海边.png")})
        EXPECT_TRUE(ReadFileBytes(downloads() + file) == siteFile(file)) << file.toStdString();
    EXPECT_EQ(sounds.size(), 9);
    // The queue page lists them all with their status.
    TListView& lv3 = *main().lv3;
    ASSERT_EQ(lv3.Count(), 9);
    main().DownloadModel().Flush();
    EXPECT_EQ(lv3.SubItem(8, DownloadColumn::Status), u("下载完成"));
    EXPECT_EQ(lv3.SubItem(8, DownloadColumn::Progress), QStringLiteral("100%"));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DemoTransferTest, TheSkinWindowListsTheOfferedSkinsAndPreviewsTheLoginSkin) {
    whileOpen(skin(), [&] { main().N13->trigger(); },
              [&] {
                  EXPECT_TRUE(skin().isModal());
                  EXPECT_EQ(skin().windowTitle(), u("网盘皮肤切换"));
                  EXPECT_EQ(skin().size(), QSize(531, 342));
                  QStringList captions;
                  for (int i = 0; i < skin().SLBox->count(); ++i) {
                      captions << skin().SLBox->item(i)->text();
                      EXPECT_EQ(skin().SLBox->visualItemRect(skin().SLBox->item(i)).height(), 20);
                  }
                  EXPECT_EQ(captions, QStringList({u("Laconic皮肤"), u("Jade皮肤"), u("Amber皮肤"), u("Midnight皮肤"),
                                                   u("Ghost皮肤")}));
                  // The login's skin is selected; its preview is fetched with
                  // the placeholder shown meanwhile.
                  EXPECT_EQ(skin().SLBox->currentRow(), 0);
                  EXPECT_EQ(skin().SelectedSkin, "Laconic");
                  EXPECT_FALSE(skin().SKBtnDel->isEnabled());
                  EXPECT_EQ(skin().PVImg->FileName(), dir.filePath(QStringLiteral("res/loading.jpg")));
                  ASSERT_TRUE(WaitFor([&] { return skin().PVImg->FileName() == skins(QStringLiteral("Laconic.jpg")); },
                                      20000));
                  EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Laconic.jpg"))), skinServerFile(QStringLiteral("Laconic.jpg")));
                  EXPECT_FALSE(skin().PVImg->Picture().isNull());

                  // A skin the server lacks: the placeholder stays and the
                  // status bar says so.
                  clickSkin(4);
                  EXPECT_EQ(skin().SelectedSkin, "Ghost");
                  ASSERT_TRUE(WaitFor([&] { return !skin().SFStatus->text().isEmpty(); }, 20000));
                  EXPECT_EQ(skin().SFStatus->text(), u("预览图文件【Ghost】不存在"));
                  EXPECT_EQ(skin().PVImg->FileName(), dir.filePath(QStringLiteral("res/loading.jpg")));
              });
    ASSERT_GE(skinRequests("downimg").size(), 1);
    EXPECT_TRUE(skinRequests("downimg").first().target.endsWith("getskin.php?action=downimg&skin_id=Laconic"));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DemoTransferTest, ApplyingASkinRestylesEveryWindowAndIsRemembered) {
    QList<QWidget*> windows = {program->LoginFrm.get(), &main(), reinterpret_cast<QWidget*>(program->LinkFrm),
                               &down(), &skin(), reinterpret_cast<QWidget*>(program->VerFrm)};
    QList<QImage> before;
    for (QWidget* w : windows)
        before << w->grab().toImage();
    whileOpen(skin(), [&] { main().N13Click(); },
              [&] {
                  clickSkin(1);
                  EXPECT_EQ(skin().SelectedSkin, "Jade");
                  EXPECT_FALSE(skin().SKBtnDel->isEnabled());  // not downloaded yet
                  QTest::mouseDClick(skin().SLBox->viewport(), Qt::LeftButton, {},
                                     skin().SLBox->visualItemRect(skin().SLBox->item(1)).center());
                  // The settings file is written at once, before the package is here.
                  EXPECT_EQ(ReadSettingsSkinName(program->Files), "Jade");
                  EXPECT_EQ(ReadFileBytes(program->Files.settingsFile()).count("\r\n"), 1);
                  ASSERT_TRUE(WaitFor([&] { return program->SkinData.LoadedFile() == skins(QStringLiteral("Jade.skn")); },
                                      20000));
                  EXPECT_EQ(ReadFileBytes(skins(QStringLiteral("Jade.skn"))), skinServerFile(QStringLiteral("Jade.skn")));
                  EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Jade.skn.tmp"))));
              });
    EXPECT_EQ(qApp->styleSheet(), program->SkinData.StyleSheet());
    for (int i = 0; i < windows.size(); ++i)
        EXPECT_NE(windows[i]->grab().toImage(), before[i]) << windows[i]->objectName().toStdString();
    // Showing the window again selects the login's skin, whatever was applied.
    whileOpen(skin(), [&] { main().N13Click(); }, [&] { EXPECT_EQ(skin().SLBox->currentRow(), 0); });
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DemoTransferTest, ApplyingASkinTheServerLacksRemembersItAndSaysItIsMissing) {
    whileOpen(skin(), [&] { main().N13Click(); },
              [&] {
                  clickSkin(4);
                  QTest::mouseClick(skin().SKBtnApply, Qt::LeftButton);
                  EXPECT_EQ(ReadSettingsSkinName(program->Files), "Ghost");
                  ASSERT_TRUE(WaitFor([&] { return skin().SFStatus->text().contains(u("皮肤文件【Ghost】")); }, 20000));
                  EXPECT_EQ(skin().SFStatus->text(), u("皮肤文件【Ghost】不存在"));
              });
    EXPECT_TRUE(program->SkinData.LoadedFile().isEmpty());
    EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Ghost.skn"))));
}

TEST_F(DemoTransferTest, DeletingAsksFirstAndRemovesOnlyThePackage) {
    WriteFileBytes(skins(QStringLiteral("Amber.skn")), skinServerFile(QStringLiteral("Amber.skn")));
    WriteFileBytes(skins(QStringLiteral("Amber.jpg")), skinServerFile(QStringLiteral("Amber.jpg")));
    whileOpen(skin(), [&] { main().N13Click(); },
              [&] {
                  clickSkin(2);
                  EXPECT_EQ(skin().PVImg->FileName(), skins(QStringLiteral("Amber.jpg")));
                  EXPECT_TRUE(skin().SKBtnDel->isEnabled());
                  answerWith = TModalResult::mrCancel;
                  QTest::mouseClick(skin().SKBtnDel, Qt::LeftButton);
                  EXPECT_TRUE(QFile::exists(skins(QStringLiteral("Amber.skn"))));
                  answerWith = TModalResult::mrOk;
                  QTest::mouseClick(skin().SKBtnDel, Qt::LeftButton);
                  EXPECT_FALSE(QFile::exists(skins(QStringLiteral("Amber.skn"))));
                  EXPECT_TRUE(QFile::exists(skins(QStringLiteral("Amber.jpg"))));
              });
    ASSERT_EQ(messages.size(), 2);
    for (const MsgDlgMessage& m : messages) {
        EXPECT_EQ(m.type, TMsgDlgType::mtInformation);
        EXPECT_EQ(m.title, u("提示信息"));
        EXPECT_EQ(m.text, u("确认删除此皮肤？"));
        EXPECT_EQ(m.buttons, TMsgDlgButtons::mbOKCancel);
    }
    EXPECT_TRUE(skinRequests("downskin").isEmpty());
    EXPECT_TRUE(skinRequests("downimg").size() <= 1);  // only the login skin's preview
}

}  // namespace

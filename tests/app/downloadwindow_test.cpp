// The download window driven from the main window against a scripted site:
// which rows are offered, the window's fields and folder list, the folder
// buttons, and downloads whose names come from the listing or the user,
// queued on the "下载队列" page.

#include "windowtest.h"

#include "config/transferoptions.h"
#include "download/gui/uDown.h"
#include "text/gbk.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QTest>
#include <QTimer>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class DownloadWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        // Downloads are GETs of client_main.php with the file id in the
        // query; the documents are served in byte ranges.
        site.handler = [this](const FakeRequest& request) {
            const QByteArray prefix = "/plugins/quellix_client/client_main.php?action=download&file_id=";
            if (request.method == "GET" && request.path.startsWith(prefix)) {
                const QByteArray id = request.path.mid(prefix.size()).split('&').value(0);
                if (!documents.contains(id))
                    return FakeReply{404, "no such file"};
                return DocumentReply(request, documents.value(id));
            }
            return answer(request);
        };
    }
    // Logs in with the listing `rows` and waits for it.
    void loginWithListing(const QByteArray& rows) {
        replies["mydisk"] = {200, rows};
        createProgram();
        login();
        ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
        ASSERT_TRUE(WaitFor([&] {
            return mainFrm().Browser().HttpMydisk.ReceiveStream == nullptr &&
                   mainFrm().HttpLoadSet.ReceiveStream == nullptr && mainFrm().lv1->Count() > 0;
        }));
        mainFrm().DownloadPage().PlaySound = [this](const QString& file) { sounds << QFileInfo(file).fileName(); };
        down().ChooseFolder = [this](QWidget*, const QString& title) {
            folderDialogTitles << title;
            return chosenFolders.isEmpty() ? QString() : chosenFolders.takeFirst();
        };
        down().OpenFolder = [this](const QString& folder) { openedFolders << folder; };
    }
    TDownFrm& down() { return *program->DownFrm; }
    TListView& lv1() { return *mainFrm().lv1; }
    // Runs `inside` while the download window is open (shown modally by
    // `open`), then makes sure it is closed.
    void whileOpen(const std::function<void()>& open, const std::function<void()>& inside) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ran = down().isVisible();
            if (ran)
                inside();
            if (down().isVisible())
                down().close();
        });
        open();
        EXPECT_TRUE(ran) << "the download window was not shown";
    }
    DownloadScheduler& queue() { return mainFrm().Downloads(); }
    // The queue has come to rest with `rows` rows.
    bool downloadEnded(int rows = 1) {
        return WaitFor([&] { return queue().Queue.Count() == rows && queue().AtRest(); }, 15000);
    }
    QString downloads() const { return QDir(dir.path()).filePath(QStringLiteral("Downloads/")); }

    QMap<QByteArray, QByteArray> documents;  // by file id
    QStringList sounds;
    QStringList folderDialogTitles;
    QStringList chosenFolders;
    QStringList openedFolders;
};

// name|size|type|folder|id|created|views|downloads
const QByteArray kListing = "docs|0|x|1|7|c|0|0\r\n"
                            "a.txt|10|txt|0|11|c|0|0\r\n"
                            "报告 一.pdf|2048|pdf|0|12|2024-01-05|3|4\r\n"
                            "sub|0|x|1|8|c|0|0\r\n"_gbk;

TEST_F(DownloadWindowTest, ASelectedFileIsOfferedWithItsFieldsAndSeveralRowsByTheirCount) {
    loginWithListing(kListing);
    lv1().SetSelected(2, true);
    whileOpen([&] { mainFrm().NDown->trigger(); },
              [&] {
                  EXPECT_TRUE(down().isModal());
                  EXPECT_EQ(down().windowTitle(), u("文件下载管理"));
                  EXPECT_EQ(down().dl_addr->text(), QString::fromLatin1(site.url()) + QStringLiteral("file-12.html"));
                  EXPECT_TRUE(down().dl_addr->isReadOnly());
                  EXPECT_EQ(down().dl_name->text(), u("报告 一.pdf"));
                  EXPECT_FALSE(down().dl_name->isReadOnly());
                  EXPECT_EQ(down().dl_size->text(), lv1().SubItem(2, 0));
                  EXPECT_EQ(down().dl_ext->text(), lv1().SubItem(2, 1));
                  EXPECT_FALSE(down().dl_size->text().isEmpty());
                  EXPECT_FALSE(down().dl_ext->text().isEmpty());
                  EXPECT_EQ(down().dl_id->text(), QStringLiteral("12"));
                  EXPECT_FALSE(down().dl_id->isVisible());
                  EXPECT_EQ(down().dl_conn->currentText(), QStringLiteral("2"));  // two ranges per file unless the user asks otherwise
                  // The default folder was created and is the only entry.
                  EXPECT_TRUE(QFileInfo(downloads()).isDir());
                  ASSERT_EQ(down().dl_dir->count(), 1);
                  EXPECT_EQ(down().dl_dir->currentText(), downloads());
                  QTest::mouseClick(down().spSkinButton2, Qt::LeftButton);  // " 取 消 "
                  EXPECT_FALSE(down().isVisible());
              });
    for (const FakeRequest& r : site.requests())
        EXPECT_NE(r.method, "GET");
    EXPECT_EQ(queue().Queue.Count(), 0);  // cancelled: nothing queued
    EXPECT_TRUE(QDir(downloads()).isEmpty());

    // Files and folders together: their count stands for the name.
    for (int row = 0; row < 4; ++row)
        lv1().SetSelected(row, true);
    whileOpen([&] { mainFrm().NDown->trigger(); },
              [&] {
                  EXPECT_EQ(down().dl_name->text(), u("2 个文件，2 个目录"));
                  EXPECT_TRUE(down().dl_name->isReadOnly());
                  EXPECT_EQ(down().dl_addr->text(), QString::fromLatin1(site.url()) + QStringLiteral("file-11.html"));
              });
    // Enter on several rows offers them too; on one folder it opens it.
    whileOpen([&] { QTest::keyClick(lv1().reportView(), Qt::Key_Return); },
              [&] { EXPECT_EQ(down().dl_name->text(), u("2 个文件，2 个目录")); });
}

TEST_F(DownloadWindowTest, ThePlaceholderRowOpensNoWindowAndFoldersAloneAreOffered) {
    loginWithListing(kListing);
    lv1().SetSelected(0, true);
    lv1().SetSelected(3, true);
    whileOpen([&] { mainFrm().NDownClick(); }, [&] { EXPECT_EQ(down().dl_name->text(), u("0 个文件，2 个目录")); });
    replies["mydisk"] = {200, ""};
    mainFrm().N25->trigger();
    ASSERT_TRUE(WaitFor([&] { return lv1().Count() == 1 && lv1().Caption(0) == u("...暂无文件..."); }));
    lv1().SetSelected(0, true);
    mainFrm().NDownClick();
    EXPECT_FALSE(down().isVisible());
}

TEST_F(DownloadWindowTest, AHostileNameFromTheListingLandsInsideTheSaveFolder) {
    documents["66"] = QByteArray(5000, 'h') + "end";
    loginWithListing("../../x|5003|bin|0|66|c|0|0\r\n");
    lv1().SetSelected(0, true);
    QList<int> gauge;
    QObject::connect(mainFrm().pb1, &QProgressBar::valueChanged, [&](int v) { gauge << v; });
    whileOpen([&] { mainFrm().lv1DblClick(); },
              [&] {
                  EXPECT_EQ(down().dl_name->text(), QStringLiteral("../../x"));
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);  // "立即下载"
                  EXPECT_FALSE(down().isVisible());
              });
    ASSERT_TRUE(downloadEnded());
    EXPECT_EQ(ReadFileBytes(downloads() + QStringLiteral(".._.._x")), documents["66"]);
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("../x"))));
    EXPECT_EQ(mainFrm().spStatus1->text(), u("文件【../../x】下载完成"));
    EXPECT_EQ(mainFrm().pb1->value(), 0);
    EXPECT_TRUE(gauge.contains(100));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("ok.wav")}));
    // The size probe and the two ranges, at the address with the account's
    // credentials unescaped.
    int gets = 0;
    for (const FakeRequest& r : site.requests()) {
        if (r.method != "GET")
            continue;
        ++gets;
        EXPECT_EQ(r.path, "/plugins/quellix_client/client_main.php?action=download&file_id=66&username=alice&password=TOKEN42");
    }
    EXPECT_EQ(gets, 3);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(DownloadWindowTest, AnEditedNameIsUsedAndAnExistingFileKeepsItsContent) {
    documents["11"] = "new bytes";
    loginWithListing(kListing);
    lv1().SetSelected(1, true);
    QDir().mkpath(downloads());
    WriteFileBytes(downloads() + QStringLiteral("a.tar.gz"), "old archive");
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] {
                  down().dl_name->setText(QStringLiteral("a.tar.gz"));
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
              });
    ASSERT_TRUE(downloadEnded());
    EXPECT_EQ(ReadFileBytes(downloads() + QStringLiteral("a.tar.gz")), "old archive");
    const QString path = queue().Queue.Row(0).LocalPath;
    const QString name = QFileInfo(path).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("a.tar_")) && name.endsWith(QStringLiteral(".gz")) && name.size() == 11)
        << name.toStdString();
    EXPECT_EQ(ReadFileBytes(path), "new bytes");
    EXPECT_EQ(mainFrm().spStatus1->text(), u("文件【a.tar.gz】下载完成"));
}

TEST_F(DownloadWindowTest, TheRangesPerFileAreTheUsersChoiceFromThenOn) {
    documents["11"] = QByteArray(40000, 'r');
    loginWithListing(kListing);
    lv1().SetSelected(1, true);
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] {
                  down().dl_conn->setCurrentIndex(3);  // "4"
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
              });
    ASSERT_TRUE(downloadEnded());
    EXPECT_EQ(queue().Connections(), 4);
    EXPECT_EQ(ReadTransferOptions(program->Files).downloadConnections, 4);
    int gets = 0;
    for (const FakeRequest& r : site.requests())
        gets += r.method == "GET";
    EXPECT_EQ(gets, 1 + 4);  // the size probe and four ranges
    EXPECT_EQ(ReadFileBytes(downloads() + QStringLiteral("a.txt")), documents["11"]);
    // The next showing offers the choice made.
    whileOpen([&] { mainFrm().NDownClick(); }, [&] { EXPECT_EQ(down().dl_conn->currentText(), QStringLiteral("4")); });
}

TEST_F(DownloadWindowTest, ARefusedDownloadSaysTheFileDoesNotExistAndLeavesNoFile) {
    loginWithListing(kListing);  // no documents: the site refuses every download
    lv1().SetSelected(1, true);
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] { QTest::mouseClick(down().spSkinButton1, Qt::LeftButton); });
    ASSERT_TRUE(downloadEnded());
    EXPECT_EQ(mainFrm().spStatus1->text(), u("文件【a.txt】不存在"));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
    EXPECT_EQ(RowStatusText(queue().Queue.Row(0)), u("不存在"));
    // No empty file under the name: it would look like the download.
    EXPECT_TRUE(QDir(downloads()).isEmpty());
}

TEST_F(DownloadWindowTest, TheFolderButtonsAddChosenFoldersAndOpenTheCurrentOne) {
    loginWithListing(kListing);
    lv1().SetSelected(1, true);
    chosenFolders = {QStringLiteral("/data/in"), QStringLiteral("/data/in/"), QString()};
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] {
                  QTest::mouseClick(down().spSkinSpeedButton1, Qt::LeftButton);
                  QTest::mouseClick(down().spSkinSpeedButton1, Qt::LeftButton);
                  QTest::mouseClick(down().spSkinSpeedButton1, Qt::LeftButton);  // cancelled
                  QTest::mouseClick(down().spSkinSpeedButton2, Qt::LeftButton);
              });
    EXPECT_EQ(folderDialogTitles, QStringList(3, u("请选定文件保存目录")));
    ASSERT_EQ(down().dl_dir->count(), 3);
    EXPECT_EQ(down().dl_dir->itemText(1), QStringLiteral("/data/in/"));
    EXPECT_EQ(down().dl_dir->itemText(2), QStringLiteral("/data/in/"));  // listed again
    EXPECT_EQ(down().dl_dir->currentIndex(), 2);
    EXPECT_EQ(openedFolders, QStringList({QStringLiteral("/data/in/")}));
    // The list lives on between showings; the default is not added again.
    whileOpen([&] { mainFrm().NDownClick(); }, [&] { EXPECT_EQ(down().dl_dir->count(), 3); });
}

TEST_F(DownloadWindowTest, AFolderThatCannotBeWrittenIsReportedAndTheWindowStaysOpen) {
    documents["11"] = "x";
    loginWithListing(kListing);
    lv1().SetSelected(1, true);
    const QString gone = QDir(dir.path()).filePath(QStringLiteral("gone"));
    chosenFolders = {gone};
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] {
                  QTest::mouseClick(down().spSkinSpeedButton1, Qt::LeftButton);
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
                  EXPECT_TRUE(down().isVisible());
              });
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(messages[0].text, u("目录 ") + gone + u("/ 不存在。"));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(queue().Queue.Count(), 0);
}

TEST_F(DownloadWindowTest, ADownloadsFolderThatCannotBeCreatedIsReported) {
    WriteFileBytes(dir.filePath(QStringLiteral("Downloads")), "a file in the way");
    loginWithListing(kListing);
    lv1().SetSelected(1, true);
    whileOpen([&] { mainFrm().NDownClick(); },
              [&] {
                  EXPECT_EQ(down().dl_dir->count(), 0);
                  // Without a save folder nothing starts and the window stays.
                  QTest::mouseClick(down().spSkinButton1, Qt::LeftButton);
                  EXPECT_TRUE(down().isVisible());
              });
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(messages[0].text, u("目录 ") + downloads() + u(" 创建失败。"));
    EXPECT_EQ(messages[1].text, u("请选定文件保存目录"));
    EXPECT_EQ(queue().Queue.Count(), 0);
}

}  // namespace

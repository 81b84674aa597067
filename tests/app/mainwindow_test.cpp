// The main window after a login: settings, the remote listing, navigation
// and links, against a scripted site.

#include "windowtest.h"

#include "disk/gui/folderlisting.h"
#include "disk/gui/uLink.h"
#include "download/gui/uDown.h"
#include "text/base64.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

class MainWindowTest : public WindowTest {
protected:
    // Logs in and waits until both requests of the main window's showing
    // were answered.
    void loginAndSettle() {
        createProgram();
        login();
        ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
        ASSERT_TRUE(WaitFor([&] { return listingDone() && settingsDone(); }));
    }
    // A request is done when its completion handler has freed its streams.
    bool listingDone() { return mainFrm().Browser().HttpMydisk.ReceiveStream == nullptr; }
    bool settingsDone() { return mainFrm().HttpLoadSet.ReceiveStream == nullptr; }
    TListView& lv1() { return *mainFrm().lv1; }
};

TEST_F(MainWindowTest, ShowingSetsThePassportLinkAndAsksForSettingsAndTheRootFolder) {
    replies["login"] = {200, "a b&c\r\nT=1\r\n0\r\n"};
    loginAndSettle();
    EXPECT_EQ(mainFrm().spLoginLink->text(), QString::fromUtf8("当前用户：a b&c"));
    const QByteArray sign = Md5Hex("passportlogina b&cT=1");
    EXPECT_EQ(mainFrm().spLoginLink->URL, site.url() + "plugins/quellix_client/passport.php?" +
                                              Base64Encode("action=passportlogin&username=a b&c&password=T=1&sign=" + sign));
    EXPECT_EQ(site.requestsFor("loadset")[0].body, "action=loadset&username=a b&c&password=T=1");
    EXPECT_EQ(site.requestsFor("mydisk")[0].body, "action=mydisk&folder_id=0&goback=0&username=a b&c&password=T=1");
    EXPECT_EQ(mainFrm().PageControl1->currentWidget(), mainFrm().PCDisk);
    EXPECT_FALSE(mainFrm().loading->isVisible());
    EXPECT_EQ(mainFrm().windowTitle(), QString::fromUtf8("演示网盘"));
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("skins"))).exists());
}

TEST_F(MainWindowTest, ASkinsFolderThatCannotBeMadeIsReportedAtEveryShowing) {
    // A file in the way stands for a folder that cannot be created.
    WriteFileBytes(dir.filePath(QStringLiteral("skins")), "not a folder");
    loginAndSettle();
    const QString expected = QString::fromUtf8("目录 ") + dir.path() + QStringLiteral("/skins/") +
                             QString::fromUtf8(" 创建失败，请确认拥有相应权限。");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, expected);
    mainFrm().N10Click();
    login();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2 && listingDone(); }));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1].text, expected);
}

TEST_F(MainWindowTest, SettingsReplyFillsTheFtpAccountAndJoinsTheFolder) {
    replies["loadset"] = {200, LoadSetReply(SettingsText("X||about|||A,B|news"_gbk, "\"p w\"", "/files/", "true"),
                                            "sub/", "http://reg.example/")};
    loginAndSettle();
    const TSiteSettings& s = mainFrm().SiteSettings;
    EXPECT_EQ(s.FtpHost, "127.0.0.1");
    EXPECT_EQ(s.FtpUser, "uploader");
    EXPECT_EQ(s.FtpPassword, "p w");
    EXPECT_EQ(s.FtpPort, "2121");
    EXPECT_EQ(s.FtpDir, "/files/sub/");
    EXPECT_EQ(s.FtpPassive, "true");
    EXPECT_EQ(s.RegisterSiteUrl, "http://reg.example/");
    EXPECT_EQ(BrandingField(s.Branding, BrandingItem::Skins), "A,B");
    EXPECT_EQ(mainFrm().windowTitle(), "X");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(MainWindowTest, RefusedSettingsRepliesAreReportedAndLeaveTheSettings) {
    struct Case {
        QByteArray body;
        const char* message;
    };
    const Case cases[] = {{"TRUE|\r\nhttp://r/\r\nX\r\n", "服务器连接信息出错.."},
                          {" true|\r\nhttp://r/\r\nX\r\n", "服务器连接信息出错.."},
                          {"", "服务器连接信息出错.."},
                          {"true|\r\nhttp://r2/\r\n", "读取网盘配置信息失败"},
                          {"true|\r\nhttp://r3/\r\n\r\n", "读取网盘配置信息失败"}};
    for (const Case& c : cases) {
        replies["loadset"] = {200, c.body};
        messages.clear();
        loginAndSettle();
        ASSERT_EQ(messages.size(), 1) << c.body.toStdString();
        EXPECT_EQ(messages[0].text, QString::fromUtf8(c.message));
        EXPECT_TRUE(mainFrm().SiteSettings.FtpHost.isEmpty());
        EXPECT_TRUE(mainFrm().windowTitle().isEmpty());  // no branding: the caption stays
        program.reset();
    }
}

TEST_F(MainWindowTest, AnUndecodableSettingsLineGoesToTheErrorReportAfterTheAddressWasTaken) {
    replies["loadset"] = {200, "true|\r\nhttp://r/\r\nAnot-a-frame-but-long-enough-for-the-codec-to-tryZ\r\n"};
    loginAndSettle();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(mainFrm().SiteSettings.RegisterSiteUrl, "http://r/");
    EXPECT_TRUE(mainFrm().SiteSettings.FtpHost.isEmpty());
}

TEST_F(MainWindowTest, AFailedSettingsRequestIsSilent) {
    replies["loadset"] = {404, "gone"};
    loginAndSettle();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowTest, ListingShowsRowsAndFolderNavigationKeepsTheRememberedFolder) {
    replies["mydisk"] = {200, "docs|0|x|1|7|2024-01-01|0|0\r\nnotes.txt|2048|txt|0|9|2024-01-02|3|1\r\n"};
    loginAndSettle();
    ASSERT_EQ(lv1().Count(), 2);
    EXPECT_EQ(lv1().SubItem(0, ListingColumn::Size), "-");
    EXPECT_EQ(lv1().SubItem(1, ListingColumn::Size), "2.00KB");
    // Select the folder row and click: the folder is remembered.
    lv1().SetSelected(0, true);
    mainFrm().Browser().lv1Click();
    EXPECT_EQ(mainFrm().Browser().CurrentFolderId, 7);
    EXPECT_EQ(mainFrm().Browser().SelectedKind, "folder");
    // Root lists folder 0 but keeps the id; refresh and back use it.
    QTest::mouseClick(mainFrm().spSkinSpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2; }));
    EXPECT_TRUE(site.requestsFor("mydisk")[1].body.startsWith("action=mydisk&folder_id=0&goback=0&"));
    ASSERT_TRUE(WaitFor([&] { return listingDone(); }));
    EXPECT_EQ(mainFrm().Browser().CurrentFolderId, 7);
    mainFrm().N25->trigger();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 3; }));
    EXPECT_TRUE(site.requestsFor("mydisk")[2].body.startsWith("action=mydisk&folder_id=7&goback=0&"));
    ASSERT_TRUE(WaitFor([&] { return listingDone(); }));
    QTest::mouseClick(mainFrm().spSkinSpeedButton2, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 4; }));
    EXPECT_TRUE(site.requestsFor("mydisk")[3].body.startsWith("action=mydisk&folder_id=7&goback=1&"));
}

TEST_F(MainWindowTest, DoubleClickingAFolderOpensIt) {
    replies["mydisk"] = {200, "docs|0|x|1|7|c|0|0\r\nfile|1|t|0|9|c|0|0\r\n"};
    loginAndSettle();
    lv1().SetSelected(0, true);
    lv1().SetSelected(1, true);  // a file selected too: the folder wins
    mainFrm().Browser().lv1Click();
    mainFrm().lv1DblClick();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2; }));
    EXPECT_TRUE(site.requestsFor("mydisk")[1].body.startsWith("action=mydisk&folder_id=7&goback=0&"));
}

TEST_F(MainWindowTest, KeyboardAloneOpensDownloadsAndEditsTheQueue) {
    replies["mydisk"] = {200, "docs|0|x|1|7|c|0|0\r\nnotes.txt|1|txt|0|9|c|0|0\r\n"};
    loginAndSettle();
    // Names read out for the icon-only buttons, the lists and the gauge.
    EXPECT_EQ(mainFrm().spSkinSpeedButton1->accessibleName(), QString::fromUtf8("网盘根目录"));
    EXPECT_EQ(mainFrm().spSkinSpeedButton2->accessibleName(), QString::fromUtf8("返回上级"));
    EXPECT_EQ(mainFrm().BtnSelFile2->accessibleName(), QString::fromUtf8("添加文件"));
    EXPECT_EQ(mainFrm().BtnSelFolder->accessibleName(), QString::fromUtf8("添加目录"));
    EXPECT_EQ(lv1().reportView()->accessibleName(), QString::fromUtf8("网盘文件列表"));
    EXPECT_EQ(mainFrm().pb1->accessibleName(), QString::fromUtf8("当前进度"));

    // Enter on a folder opens it; on a file it offers the file for download.
    QAbstractItemView* view = lv1().reportView();
    lv1().SetSelected(0, true);
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2 && listingDone(); }));
    EXPECT_TRUE(site.requestsFor("mydisk")[1].body.startsWith("action=mydisk&folder_id=7&goback=0&"));
    TDownFrm& down = *program->DownFrm;
    QString offered;
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (down.isVisible()) {
            offered = down.dl_name->text();
            down.close();
        }
    });
    closer.start();
    lv1().SetSelected(1, true);
    QTest::keyClick(view, Qt::Key_Enter);
    EXPECT_EQ(offered, QStringLiteral("notes.txt"));
    closer.stop();

    // The menu key opens the queue's menu; Delete removes the selected rows.
    const QString file = dir.filePath(QStringLiteral("q.bin"));
    WriteFileBytes(file, "abc");
    mainFrm().PageControl1->setCurrentWidget(mainFrm().PCTask);
    mainFrm().Queue().AddLocalFiles({file, file, file});
    TListView& lv2 = *mainFrm().lv2;
    QAbstractItemView* queueView = lv2.reportView();
    // What the window turns the menu key into.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), queueView->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(queueView, &menuKey);
    ASSERT_TRUE(WaitFor([&] { return mainFrm().pm2->isVisible(); }));
    mainFrm().pm2->close();
    lv2.SetSelected(0, true);
    lv2.SetSelected(2, true);
    QTest::keyClick(queueView, Qt::Key_Delete);
    EXPECT_EQ(lv2.Count(), 1);
}

TEST_F(MainWindowTest, APlainDoubleClickOnAFileOfAMultiSelectionOffersThatFileInBothViews) {
    replies["mydisk"] = {200, "docs|0|x|1|7|c|0|0\r\nnotes.txt|1|txt|0|9|c|0|0\r\n"};
    loginAndSettle();
    TDownFrm& down = *program->DownFrm;
    QString offered;
    // Closes the download window once it is shown modally, noting its file.
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!down.isVisible())
            return;
        offered = down.dl_name->text();
        down.close();
    });
    closer.start();
    for (const bool icons : {false, true}) {
        SCOPED_TRACE(icons ? "icon view" : "details view");
        if (icons)
            mainFrm().N9->trigger();
        auto* view = qobject_cast<QAbstractItemView*>(lv1().activeView());
        ASSERT_NE(view, nullptr);
        QWidget* viewport = view->viewport();
        const auto rowAt = [&](int row) { return view->visualRect(view->model()->index(row, 0)).center(); };

        // The folder, then the file with ctrl: both are selected.
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowAt(0));
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowAt(1));
        ASSERT_EQ(lv1().SelectedRows(), (QList<int>{0, 1}));
        EXPECT_EQ(mainFrm().Browser().SelectedKind, "folder");
        EXPECT_EQ(mainFrm().Browser().CurrentFolderId, 7);

        // A plain double click on the file: press and release, then the
        // double click and its release.
        offered.clear();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, rowAt(1));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowAt(1));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, rowAt(1));
        EXPECT_EQ(lv1().SelectedRows(), QList<int>{1});
        EXPECT_EQ(mainFrm().Browser().SelectedKind, "file");
        EXPECT_EQ(offered, QStringLiteral("notes.txt"));
        EXPECT_FALSE(mainFrm().loading->isVisible());  // no listing was asked for
        EXPECT_EQ(site.requestsFor("mydisk").size(), 1);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(MainWindowTest, AListingAskedForWhileOneIsOutstandingIsRefusedAsBusy) {
    loginAndSettle();
    replies["mydisk"] = {200, {}, {}, true};  // the next listing never answers
    mainFrm().N25->trigger();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2; }));
    EXPECT_TRUE(mainFrm().loading->isVisible());
    mainFrm().N25->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "HTTP component HttpMydisk is busy");
    EXPECT_NE(mainFrm().Browser().HttpMydisk.SendStream, nullptr);  // the outstanding request keeps its streams
}

TEST_F(MainWindowTest, AFailedListingKeepsTheRowsAndTheLoadingLabel) {
    replies["mydisk"] = {200, "a|1|t|0|1|c|v|d\r\n"};
    loginAndSettle();
    replies["mydisk"] = {404, "no"};
    mainFrm().N25->trigger();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2; }));
    ASSERT_TRUE(WaitFor([&] { return listingDone(); }));
    EXPECT_EQ(lv1().Count(), 1);
    EXPECT_EQ(lv1().Caption(0), "a");
    EXPECT_TRUE(mainFrm().loading->isVisible());
}

TEST_F(MainWindowTest, LinksOfSelectedFilesGoToTheLinkWindowAndTheClipboard) {
    replies["mydisk"] = {200, "docs|0|x|1|7|c|0|0\r\n报告 一.pdf|1|pdf|0|11|c|0|0\r\nb.txt|1|txt|0|12|c|0|0\r\n"_gbk};
    loginAndSettle();
    for (int row = 0; row < 3; ++row)
        lv1().SetSelected(row, true);
    TLinkFrm& links = *program->LinkFrm;
    QString shown;
    QTimer::singleShot(0, [&] {
        shown = links.Memo1->toPlainText();
        QTest::mouseClick(links.spSkinButton2, Qt::LeftButton);  // copy
        QTest::mouseClick(links.spSkinButton1, Qt::LeftButton);  // close
    });
    mainFrm().UBB1Click();
    const QString expected = QStringLiteral("[url=") + QString::fromLatin1(site.url()) +
                             QString::fromUtf8("file-11.html]报告 一.pdf[/url]\r\n[url=") +
                             QString::fromLatin1(site.url()) + QStringLiteral("file-12.html]b.txt[/url]\r\n");
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
    EXPECT_EQ(shown, QString(expected).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.last().text, QString::fromUtf8("链接内容复制成功，请按Ctrl+V 进行粘贴。"));
    // Folders only: no window.
    lv1().SetSelected(1, false);
    lv1().SetSelected(2, false);
    mainFrm().N1Click();
    EXPECT_FALSE(links.isVisible());
}

}  // namespace

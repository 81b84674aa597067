// The about window and the main window's news strip in the running program,
// against a scripted site: the tab texts, the version text and support link,
// the probed pages, and the embedded-browser guard.

#include "windowtest.h"

#include "webviewinput.h"

#include "platform/gui/linklabel.h"
#include "text/gbk.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWebEngineView>

namespace {

const QByteArray kPage = "<html><body><h1>about</h1></body></html>";
const QString kF1 = QStringLiteral("Quellix Software not install(f1)!");
const QString kF2 = QStringLiteral("Quellix Software not install(f2)!");

class AboutWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        site.handler = [this](const FakeRequest& request) {
            const QByteArray key = request.method + " " + request.path;
            if (onPageRequest && pages.contains(key))
                onPageRequest(request);
            if (pages.contains(key))
                return pages.value(key);
            if (request.path == "/favicon.ico")
                return FakeReply{404, {}};
            return answer(request);
        };
    }

    // Logs in with a branding record naming these pages of the site (none
    // when empty) and waits until the settings reply was handled.
    void loginWith(const QByteArray& aboutPage, const QByteArray& newsPage) {
        const QByteArray about = aboutPage.isEmpty() ? QByteArray() : site.url() + aboutPage;
        const QByteArray news = newsPage.isEmpty() ? QByteArray() : site.url() + newsPage;
        replies["loadset"] = {200, LoadSetReply(SettingsText("演示网盘|x|"_gbk + about + "|x|x|Blue|" + news))};
        createProgram();
        login();
        ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
        ASSERT_TRUE(WaitFor([&] { return mainFrm().HttpLoadSet.ReceiveStream == nullptr; }));
    }
    void servePage(const QByteArray& path, const QByteArray& html) {
        pages["HEAD /" + path] = {200, {}};
        pages["GET /" + path] = {200, html, "text/html"};
    }
    int countOf(const QByteArray& method, const QByteArray& path) const {
        int n = 0;
        for (const FakeRequest& r : site.requests())
            n += r.method == method && r.path == "/" + path;
        return n;
    }
    TVerFrm& about() { return *program->VerFrm; }
    bool showsTabs() {
        return about().VerPC->isVisible() && about().spSkinStatusBar1->isVisible() && !about().WBPanel->isVisible();
    }
    bool showsPage() {
        return about().WBPanel->isVisible() && !about().VerPC->isVisible() && !about().spSkinStatusBar1->isVisible();
    }

    QMap<QByteArray, FakeReply> pages;  // by "METHOD /path"
    std::function<void(const FakeRequest&)> onPageRequest;
};

TEST_F(AboutWindowTest, WithoutTheTextFilesEveryShowingAddsOneMoreNotice) {
    loginWith("", "");
    TVerFrm& w = about();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("关于软件"));
    EXPECT_EQ(w.size(), QSize(505, 342));
    EXPECT_EQ(w.VerPC->tabText(0), QString::fromUtf8("软件说明"));
    EXPECT_EQ(w.VerPC->tabText(1), QString::fromUtf8("使用协议"));
    w.show();
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.VerM1->toPlainText(), kF1);
    EXPECT_EQ(w.VerM2->toPlainText(), kF2);
    EXPECT_TRUE(w.VerM1->isReadOnly() && w.VerM2->isReadOnly());
    EXPECT_TRUE(showsTabs());
    w.VerPC->setCurrentWidget(w.PCLicense);
    w.close();

    w.show();
    EXPECT_EQ(w.VerPC->currentWidget(), w.PCInfo);  // the first tab again
    EXPECT_EQ(w.VerM1->toPlainText(), kF1 + "\n" + kF1);
    EXPECT_EQ(w.VerM2->toPlainText(), kF2 + "\n" + kF2);
    // No page named: nothing probed, no web view.
    EXPECT_EQ(w.wb2(), nullptr);
    EXPECT_FALSE(w.PageRequested);
    // Each window holds its own guard from its creation on.
    EXPECT_TRUE(w.BrowserGuard().Installed());
    EXPECT_TRUE(mainFrm().BrowserGuard().Installed());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(AboutWindowTest, WithBothTextFilesTheTabsShowExactlyTheirLines) {
    WriteFileBytes(dir.filePath(QStringLiteral("info.txt")), "Quellix 网盘客户端\r\n\r\n功能：上传、下载\r\n"_gbk);
    WriteFileBytes(dir.filePath(QStringLiteral("license.txt")), "使用协议\r\n第一条"_gbk);
    loginWith("", "");
    for (int showing = 0; showing < 2; ++showing) {
        about().show();
        EXPECT_EQ(about().VerM1->toPlainText(), QString::fromUtf8("Quellix 网盘客户端\n\n功能：上传、下载"));
        EXPECT_EQ(about().VerM2->toPlainText(), QString::fromUtf8("使用协议\n第一条"));
        about().close();
    }
}

TEST_F(AboutWindowTest, TheVersionTextNamesTheSiteAndTheSupportLinkTheVersion) {
    loginWith("", "");
    about().show();
    EXPECT_EQ(about().spVerText->text(),
              QString::fromUtf8("\n\r此软件为 Demo Disk 专用版本, 程序版本：v2.2  Release 20130122"));
    EXPECT_EQ(about().power_link->text(), QString::fromUtf8("Quellix Team 技术支持"));
    EXPECT_EQ(about().power_link->URL, "https://www.quellix.net/?cl_ver=2.2");
    EXPECT_EQ(about().spSkinButton1->text(), QString::fromUtf8("确 定"));
    about().close();
    // The link follows the main window's vendor address at each showing.
    mainFrm().VendorHomeUrl = "http://vendor.example/";
    about().show();
    EXPECT_EQ(about().power_link->URL, "http://vendor.example/?cl_ver=2.2");
}

TEST_F(AboutWindowTest, APageThatAnswersShowsTheTabsFirstThenThePage) {
    servePage("about.html", kPage);
    loginWith("about.html", "");
    about().show();
    // Visible once the probe has ended, with the tab view: the page has not
    // loaded yet.
    ASSERT_TRUE(about().isVisible());
    EXPECT_TRUE(about().PageRequested);
    EXPECT_TRUE(showsTabs());
    EXPECT_FALSE(about().spVerText->text().isEmpty());
    ASSERT_TRUE(WaitFor([&] { return showsPage(); }));
    EXPECT_EQ(about().wb2()->url().toString(), QString::fromLatin1(site.url() + "about.html"));
    // The page covers everything but the panel with the text and the button.
    EXPECT_TRUE(about().spSkinPanel3->isVisible());
    EXPECT_TRUE(WaitFor([&] { return about().WBPanel->height() == 342 - 30; }));
    EXPECT_EQ(countOf("HEAD", "about.html"), 1);
    EXPECT_EQ(countOf("GET", "about.html"), 1);
    QTest::mouseClick(about().spSkinButton1, Qt::LeftButton);
    EXPECT_FALSE(about().isVisible());

    // The next showing starts from the tab view and loads the page again.
    about().show();
    EXPECT_TRUE(showsTabs());
    EXPECT_EQ(about().VerPC->currentWidget(), about().PCInfo);
    ASSERT_TRUE(WaitFor([&] { return showsPage(); }));
    EXPECT_EQ(countOf("HEAD", "about.html"), 2);
    EXPECT_EQ(countOf("GET", "about.html"), 2);
}

TEST_F(AboutWindowTest, APageRefusingHeadWith405IsNotShown) {
    pages["HEAD /about.html"] = {405, {}};
    pages["GET /about.html"] = {200, kPage, "text/html"};
    loginWith("about.html", "");
    about().show();
    EXPECT_TRUE(showsTabs());
    EXPECT_FALSE(about().PageRequested);
    EXPECT_EQ(about().wb2(), nullptr);
    EXPECT_EQ(countOf("HEAD", "about.html"), 1);
    EXPECT_EQ(countOf("GET", "about.html"), 0);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(AboutWindowTest, APageThatNeverAnswersOpensTheWindowOnlyAfterTheProbesLimit) {
    pages["HEAD /about.html"] = {200, {}, {}, true};
    loginWith("about.html", "");
    about().Probe().TimeLimitMs = 800;
    bool visibleWhileProbing = true;
    onPageRequest = [&](const FakeRequest&) { visibleWhileProbing = about().isVisible(); };
    // The other windows stay responsive meanwhile: their events run.
    bool ranWhileProbing = false;
    QTimer::singleShot(200, &mainFrm(), [&] { ranWhileProbing = !about().isVisible(); });
    QElapsedTimer clock;
    clock.start();
    about().show();
    EXPECT_GE(clock.elapsed(), 800);
    EXPECT_FALSE(visibleWhileProbing);
    EXPECT_TRUE(ranWhileProbing);
    EXPECT_TRUE(about().isVisible());
    EXPECT_TRUE(showsTabs());
    EXPECT_EQ(about().VerM1->toPlainText(), kF1);
    EXPECT_EQ(about().wb2(), nullptr);
}

TEST_F(AboutWindowTest, TheMenuItemOpensTheWindowModallyAndIgnoresASecondClickWhileProbing) {
    pages["HEAD /about.html"] = {200, {}, {}, true};
    loginWith("about.html", "");
    about().Probe().TimeLimitMs = 600;
    // "关于软件" again while the first showing waits for its probe.
    onPageRequest = [&](const FakeRequest&) { mainFrm().N16->trigger(); };
    bool modal = false;
    int showings = 0;
    qint64 shownAfterMs = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (about().isVisible()) {
            modal = QApplication::activeModalWidget() == &about();
            if (++showings == 1)
                shownAfterMs = clock.elapsed();
            QTest::mouseClick(about().spSkinButton1, Qt::LeftButton);
        } else if (clock.elapsed() > 15000) {
            about().reject();  // never shown: end the modal loop anyway
        }
    });
    poll.start(20);
    mainFrm().N16->trigger();
    poll.stop();
    EXPECT_TRUE(modal);
    EXPECT_EQ(showings, 1);
    EXPECT_GE(shownAfterMs, 600);
    EXPECT_FALSE(about().isVisible());
    EXPECT_EQ(countOf("HEAD", "about.html"), 1);
    EXPECT_EQ(about().VerM1->toPlainText(), kF1);  // shown once
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

class NewsStripWindowTest : public AboutWindowTest {};

TEST_F(NewsStripWindowTest, TheStripShowsOnlyOnceItsPageHasLoaded) {
    servePage("news.html", kPage);
    QList<bool> stripShownAtGet;
    onPageRequest = [&](const FakeRequest& r) {
        if (r.method == "GET")
            stripShownAtGet.append(mainFrm().WBPanel->isVisible());
    };
    loginWith("", "news.html");
    EXPECT_TRUE(mainFrm().News().NewsRequested);
    ASSERT_TRUE(WaitFor([&] { return mainFrm().WBPanel->isVisible(); }));
    EXPECT_EQ(stripShownAtGet, QList<bool>{false});
    QWebEngineView* wb1 = mainFrm().News().wb1();
    ASSERT_NE(wb1, nullptr);
    EXPECT_EQ(wb1->url().toString(), QString::fromLatin1(site.url() + "news.html"));
    EXPECT_TRUE(WaitFor([&] { return mainFrm().WBPanel->height() == 53; }));
    EXPECT_EQ(countOf("HEAD", "news.html"), 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NewsStripWindowTest, ANewLoginHidesTheStripAndAFailedProbeKeepsItHidden) {
    servePage("news.html", kPage);
    loginWith("", "news.html");
    ASSERT_TRUE(WaitFor([&] { return mainFrm().WBPanel->isVisible(); }));

    // Switch account; the site now refuses the news page.
    pages["HEAD /news.html"] = {404, {}};
    QList<bool> stripShownAtSettingsRequest;
    site.handler = [this, previous = site.handler, &stripShownAtSettingsRequest](const FakeRequest& r) {
        if (r.field("action") == "loadset")
            stripShownAtSettingsRequest.append(mainFrm().WBPanel->isVisible());
        return previous(r);
    };
    mainFrm().N10->trigger();
    ASSERT_FALSE(mainFrm().isVisible());
    login();
    ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
    ASSERT_TRUE(WaitFor([&] { return countOf("HEAD", "news.html") == 2 && mainFrm().Probe().ProbeDone; }));
    ASSERT_TRUE(WaitFor([&] { return mainFrm().HttpLoadSet.ReceiveStream == nullptr; }));
    EXPECT_EQ(stripShownAtSettingsRequest, QList<bool>{false});
    EXPECT_FALSE(mainFrm().News().NewsRequested);
    EXPECT_FALSE(mainFrm().WBPanel->isVisible());
    EXPECT_EQ(countOf("GET", "news.html"), 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NewsStripWindowTest, RightClicksNeverReachTheStripWhileTheListKeepsItsMenu) {
    servePage("news.html", InputLogPage());
    loginWith("", "news.html");
    ASSERT_TRUE(WaitFor([&] { return mainFrm().WBPanel->isVisible(); }));
    QWebEngineView& wb1 = *mainFrm().News().wb1();
    ASSERT_TRUE(WaitUntilPageTakesClicks(wb1));
    QString before = PageLog(wb1);
    ClickInView(wb1, Qt::RightButton);
    ASSERT_TRUE(WaitForLeftClick(wb1, ClickInView(wb1, Qt::LeftButton)));
    EXPECT_FALSE(HasRightButtonTrace(PageLog(wb1).mid(before.size())));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    // Ctrl+N inside the strip is ignored; other keys reach the page.
    wb1.setFocus();
    before = PageLog(wb1);
    KeyInView(wb1, Qt::Key_N, Qt::ControlModifier);
    KeyInView(wb1, Qt::Key_X);
    ASSERT_TRUE(WaitForLogAfter(wb1, before, QStringLiteral("kx")));
    EXPECT_FALSE(PageLog(wb1).mid(before.size()).contains(QStringLiteral("k^n")));

    // The remote list still opens its context menu on the right button.
    QWidget* viewport = mainFrm().lv1->reportView()->viewport();
    QTest::mouseClick(mainFrm().windowHandle(), Qt::RightButton, Qt::NoModifier,
                      viewport->mapTo(&mainFrm(), viewport->rect().center()));
    EXPECT_TRUE(WaitFor([&] { return mainFrm().pm1->isVisible(); }));
    mainFrm().pm1->close();
}

}  // namespace

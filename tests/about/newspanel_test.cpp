// The news strip: the page is probed with HEAD first and the panel appears
// only once the page has loaded; every failure keeps it hidden, silently.

#include "about/newspanel.h"
#include "login/siteprobe.h"
#include "net/httpcli.h"
#include "net/siteclient.h"
#include "support/fakesite.h"
#include "support/testutil.h"
#include "webviewinput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

namespace {

const QByteArray kPage = "<html><body>news</body></html>";

// A window with the strip along its bottom and a scripted site.
class NewsStripTest : public testing::Test {
protected:
    NewsStripTest() {
        ApplySiteClientSettings(http);
        probe.TimeLimitMs = 3000;
        auto* layout = new QVBoxLayout(&window);
        layout->addStretch(1);
        layout->addWidget(&panel);
        panel.setFixedHeight(53);
        panel.hide();
        window.resize(400, 120);
        window.show();
        site.handler = [this](const FakeRequest& request) {
            if (request.method == "GET" && request.path != "/favicon.ico")
                panelShownAtGet.append(panel.isVisible());
            const QByteArray key = request.method + " " + request.path;
            return replies.contains(key) ? replies.value(key) : FakeReply{404, "none"};
        };
    }
    QByteArray url(const char* path) const { return site.url() + path; }
    // The requests the site saw, as "METHOD /path", apart from the
    // browser's own favicon look-up.
    QList<QByteArray> requestLines() const {
        QList<QByteArray> lines;
        for (const FakeRequest& r : site.requests())
            if (r.path != "/favicon.ico")
                lines.append(r.method + " " + r.path);
        return lines;
    }

    FakeSite site;
    QMap<QByteArray, FakeReply> replies;  // by "METHOD /path"
    QList<bool> panelShownAtGet;
    THttpCli http{"HttpAds"};
    SiteProbe probe{http};
    QWidget window;
    QWidget panel{&window};
    NewsPanel news{panel, probe};
};

TEST_F(NewsStripTest, APageThatAnswersIsShownOnlyOnceItHasLoaded) {
    replies["HEAD /news.html"] = {200, {}};
    replies["GET /news.html"] = {200, kPage, "text/html"};
    news.ShowNewsPage(url("news.html"));
    EXPECT_TRUE(news.NewsRequested);
    ASSERT_NE(news.wb1(), nullptr);
    EXPECT_EQ(news.wb1()->objectName(), "wb1");
    EXPECT_EQ(news.wb1()->parentWidget(), &panel);
    EXPECT_FALSE(panel.isVisible());
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }));
    // Probed with the site clients' HEAD first; the page was fetched while
    // the panel was still hidden.
    EXPECT_EQ(requestLines(), (QList<QByteArray>{"HEAD /news.html", "GET /news.html"}));
    EXPECT_TRUE(site.requests()[0].head.startsWith("HEAD /news.html HTTP/1.0\r\n"));
    EXPECT_TRUE(site.requests()[0].head.contains("\r\nUser-Agent: quellix-client\r\n"));
    EXPECT_EQ(panelShownAtGet, QList<bool>{false});
    EXPECT_EQ(news.wb1()->url().toString(), QString::fromLatin1(url("news.html")));
}

TEST_F(NewsStripTest, AHeadRefusedWith405ShowsNothingAndStartsNoWebView) {
    replies["HEAD /news.html"] = {405, {}};
    replies["GET /news.html"] = {200, kPage, "text/html"};
    news.ShowNewsPage(url("news.html"));
    EXPECT_FALSE(news.NewsRequested);
    EXPECT_EQ(news.wb1(), nullptr);
    EXPECT_EQ(requestLines(), QList<QByteArray>{"HEAD /news.html"});
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(NewsStripTest, AServerThatNeverAnswersFailsTheProbeAtItsTimeLimit) {
    replies["HEAD /news.html"] = {200, {}, {}, true};
    probe.TimeLimitMs = 600;
    QElapsedTimer clock;
    clock.start();
    news.ShowNewsPage(url("news.html"));
    EXPECT_GE(clock.elapsed(), 600);
    EXPECT_FALSE(news.NewsRequested);
    EXPECT_EQ(news.wb1(), nullptr);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(NewsStripTest, AnEmptyOrUnreachableAddressShowsNothing) {
    news.ShowNewsPage("");
    EXPECT_TRUE(site.requests().isEmpty());
    // Nothing listens on port 1.
    news.ShowNewsPage("http://127.0.0.1:1/news.html");
    EXPECT_FALSE(news.NewsRequested);
    EXPECT_EQ(news.wb1(), nullptr);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(NewsStripTest, ARedirectToAnAnsweringPageIsShown) {
    const FakeReply moved{302, {}, "text/html", false, "Location: " + url("news.html") + "\r\n"};
    replies["HEAD /old.html"] = moved;
    replies["GET /old.html"] = moved;
    replies["HEAD /news.html"] = {200, {}};
    replies["GET /news.html"] = {200, kPage, "text/html"};
    news.ShowNewsPage(url("old.html"));
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }));
    // The view goes to the probed address and follows the relocation itself.
    EXPECT_EQ(requestLines(),
              (QList<QByteArray>{"HEAD /old.html", "HEAD /news.html", "GET /old.html", "GET /news.html"}));
    EXPECT_EQ(news.wb1()->url().toString(), QString::fromLatin1(url("news.html")));
}

TEST_F(NewsStripTest, TheEnginesOwnErrorPageCountsAsLoaded) {
    replies["HEAD /news.html"] = {200, {}};
    // Two different lengths: the browser refuses the reply and shows its
    // error page instead.
    replies["GET /news.html"] = {200, kPage, "text/html", false, "Content-Length: 1\r\n"};
    news.ShowNewsPage(url("news.html"));
    ASSERT_NE(news.wb1(), nullptr);
    bool errorPage = false;
    QObject::connect(news.wb1()->page(), &QWebEnginePage::loadingChanged, &window,
                     [&](const QWebEngineLoadingInfo& info) { errorPage = errorPage || info.isErrorPage(); });
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }));
    EXPECT_TRUE(errorPage);
}

TEST_F(NewsStripTest, ANewShowingHidesTheStripAndIgnoresLaterDocuments) {
    replies["HEAD /news.html"] = {200, {}};
    replies["GET /news.html"] = {200, kPage, "text/html"};
    news.ShowNewsPage(url("news.html"));
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }));

    news.FormShow();
    EXPECT_FALSE(news.NewsRequested);
    EXPECT_FALSE(panel.isVisible());
    // A document that completes now (nothing was requested since) does not
    // bring the strip back.
    bool reloaded = false;
    QObject::connect(news.wb1(), &QWebEngineView::loadFinished, &window, [&] { reloaded = true; });
    news.wb1()->reload();
    ASSERT_TRUE(WaitFor([&] { return reloaded; }));
    EXPECT_FALSE(panel.isVisible());

    // A failed probe at the next showing keeps it hidden.
    replies["HEAD /news.html"] = {404, {}};
    news.ShowNewsPage(url("news.html"));
    EXPECT_FALSE(news.NewsRequested);
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(NewsStripTest, TheKeyboardsMenuKeyOpensNoMenuInTheStrip) {
    replies["HEAD /news.html"] = {200, {}};
    replies["GET /news.html"] = {200, InputLogPage(), "text/html"};
    news.ShowNewsPage(url("news.html"));
    ASSERT_TRUE(WaitFor([&] { return panel.isVisible(); }));
    QWebEngineView& wb1 = *news.wb1();
    ASSERT_TRUE(WaitUntilPageTakesClicks(wb1));
    wb1.setFocus();
    QTest::keyClick(window.windowHandle(), Qt::Key_Menu);
    ASSERT_TRUE(WaitForLeftClick(wb1, ClickInView(wb1, Qt::LeftButton)));
    // The page saw the key (its own business); no menu opened.
    EXPECT_TRUE(PageLog(wb1).contains(QStringLiteral("kContextMenu")));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

}  // namespace

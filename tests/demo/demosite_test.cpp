// The DemoSite helper that the window tests start the demo site with: it
// reports the site's addresses and accounts, reads back the exact bytes of
// logged requests, writes a site configuration the client reads, and stops
// the site cleanly.

#include "config/localfiles.h"
#include "config/siteconfig.h"
#include "support/demosite.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// One request on a fresh connection; everything the site sent until it closed.
QByteArray Exchange(int port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket.waitForConnected(10000))
        return QByteArray();
    socket.write(request);
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        reply += socket.readAll();
    return reply + socket.readAll();
}

QByteArray LoginBody(const DemoAccount& account) {
    return "action=login&username=" + ToGbk(account.name) + "&password=" +
           Md5Hex(ToGbk(account.password)).toLower();
}

class DemoSiteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new DemoSite({QStringLiteral("--big-file-mib"), QStringLiteral("1")}); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString(); }

    static DemoSite* site_;
};

DemoSite* DemoSiteTest::site_ = nullptr;

TEST_F(DemoSiteTest, ReportsItsAddressesAndAccounts) {
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(site_->httpPort()) + "/";
    EXPECT_EQ(site_->siteUrl(), base);
    EXPECT_EQ(site_->registerUrl(), base);
    EXPECT_EQ(site_->skinServerUrl(), base + "vendor/");
    EXPECT_GT(site_->ftpPort(), 0);
    EXPECT_NE(site_->ftpPort(), site_->httpPort());
    EXPECT_EQ(site_->ftpDir(), QByteArray("/files/incoming/"));
    EXPECT_EQ(site_->accounts().size(), 2);
    EXPECT_EQ(site_->account(QStringLiteral("demo")).debugFlag, QStringLiteral("0"));
    EXPECT_EQ(site_->account(QStringLiteral("张三")).debugFlag, QStringLiteral("1"));
    EXPECT_EQ(site_->account(QStringLiteral("张三")).ftpPassword, QStringLiteral("up load 2"));
}

TEST_F(DemoSiteTest, LoggedRequestsKeepTheExactBytesSent) {
    const DemoAccount account = site_->account(QStringLiteral("张三"));
    const QByteArray body = LoginBody(account);
    const QByteArray reply = Exchange(site_->httpPort(),
                                      "POST /plugins/quellix_client/client_main.php HTTP/1.0\r\n"
                                      "User-Agent: quellix-client\r\nContent-Length: " +
                                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
    ASSERT_TRUE(reply.startsWith("HTTP/1.1 200 OK\r\n")) << reply.toStdString();
    EXPECT_TRUE(reply.contains("\r\n\r\n" + "张三"_gbk + "\r\n"));

    const QList<LoggedRequest> requests = site_->requests();
    ASSERT_FALSE(requests.isEmpty());
    const LoggedRequest& last = requests.last();
    EXPECT_EQ(last.method, QByteArray("POST"));
    EXPECT_EQ(last.path, QByteArray("/plugins/quellix_client/client_main.php"));
    EXPECT_EQ(last.body, body);
    EXPECT_EQ(last.header("user-agent"), QByteArray("quellix-client"));
    EXPECT_EQ(last.status, 200);
}

TEST_F(DemoSiteTest, WritesASiteConfigurationTheClientReads) {
    QTemporaryDir programDir;
    ASSERT_TRUE(site_->writeSiteConfig(programDir.path()));
    const std::optional<SiteConfig> config = ReadSiteConfig(LocalFiles(programDir.path()));
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->SiteUrl, site_->siteUrl());
    EXPECT_EQ(config->SiteName, ToGbk(site_->siteName()));
    EXPECT_EQ(config->VendorHomeUrl, site_->skinServerUrl());
}

TEST(DemoSiteLifetimeTest, StopsCleanlyAndTakesOptions) {
    DemoSite site({QStringLiteral("--big-file-mib"), QStringLiteral("1"), QStringLiteral("--register-path"),
                   QStringLiteral("/reg/")});
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    EXPECT_EQ(site.registerUrl(), site.siteUrl() + "reg/");
    const QString dataDir = site.dataDir();
    EXPECT_TRUE(QFile::exists(dataDir + QStringLiteral("/state.json")));
    EXPECT_TRUE(site.stop());
    EXPECT_FALSE(site.isRunning());
    EXPECT_TRUE(Exchange(site.httpPort(), "GET / HTTP/1.0\r\n\r\n").isEmpty());
}

TEST(DemoSiteLifetimeTest, ABadOptionIsReportedNotHung) {
    DemoSite site({QStringLiteral("--no-such-option")}, 30000);
    EXPECT_FALSE(site.isRunning());
    EXPECT_TRUE(site.errorText().contains(QStringLiteral("no-such-option"))) << site.errorText().toStdString();
}

}  // namespace

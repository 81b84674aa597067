// The DemoSite helper that the window tests start the demo site with: it
// reports the site's addresses and accounts, reads back the exact bytes of
// logged requests, writes a site configuration the client reads, and stops
// the site cleanly.

#include "config/localfiles.h"
#include "config/siteconfig.h"
#include "support/demosite.h"
#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>

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

// Whether a process has ended (a zombie nobody reaped has ended too).
bool ProcessEnded(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

bool Refuses(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return !socket.waitForConnected(1000);
}

// A test program that aborts must not leave its servers running: the
// servers that the support classes start end with the test process.
TEST(DemoSiteLifetimeTest, ServersEndWhenTheTestProcessAborts) {
    if (qEnvironmentVariableIsSet("QUELLIX_ABORTING_CHILD")) {
        // The child copy of this test: start the servers, name them, abort.
        DemoSite site;
        PyFtpServer ftp;
        QTemporaryDir root;
        NginxServer nginx;
        if (!site.isRunning() || !ftp.isRunning() || !nginx.start(root.path()))
            std::exit(3);
        std::printf("servers %lld %lld %lld %d %d\n", site.processId(), ftp.processId(), nginx.processId(), site.httpPort(),
                    int(nginx.port()));
        std::fflush(stdout);
        std::abort();
    }
    QProcess child;
    EndWithThisProcess(child);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLIX_ABORTING_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DemoSiteLifetimeTest.ServersEndWhenTheTestProcessAborts")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    const QByteArray out = child.readAllStandardOutput();
    const qsizetype at = out.indexOf("servers ");
    ASSERT_GE(at, 0) << out.constData() << child.readAllStandardError().constData();
    const QList<QByteArray> numbers = out.mid(at + 8, out.indexOf('\n', at) - at - 8).split(' ');
    ASSERT_EQ(numbers.size(), 5) << out.constData();
    for (int i = 0; i < 3; ++i) {
        const qint64 pid = numbers[i].toLongLong();
        ASSERT_GT(pid, 0);
        EXPECT_TRUE(WaitFor([&] { return ProcessEnded(pid); }, 15000)) << "server " << i << " pid " << pid;
    }
    // nginx's workers hold its port too.
    for (int i = 3; i < 5; ++i)
        EXPECT_TRUE(WaitFor([&] { return Refuses(quint16(numbers[i].toUInt())); }, 15000)) << numbers[i].constData();
}

TEST(DemoSiteLifetimeTest, ABadOptionIsReportedNotHung) {
    DemoSite site({QStringLiteral("--no-such-option")}, 30000);
    EXPECT_FALSE(site.isRunning());
    EXPECT_TRUE(site.errorText().contains(QStringLiteral("no-such-option"))) << site.errorText().toStdString();
}

}  // namespace

// The windows with the proxy of quellix.ini, over TLS, through each real
// proxy: dante (SOCKS5 resolving here, and with a user resolving there) and
// tinyproxy (CONNECT with Basic credentials). The site is the demo site
// behind nginx over TLS (a certificate for "localhost"), its FTP server
// requires explicit TLS (a certificate for 127.0.0.1), and all of them take
// only the proxy's connections. The main window makes the connector from the
// options at start and gives it to every component: a login, the listing,
// an upload (control and data connections) and a download of it back all go
// through the proxy, verified end to end. A proxy that is down is named in
// the login window's message.

#include "app/Main.h"
#include "app/program.h"
#include "config/transferoptions.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "net/netconnector.h"
#include "support/demosite.h"
#include "support/nginxserver.h"
#include "support/proxyservers.h"
#include "support/scriptedserver.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QDir>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

enum class Kind { Socks5, Socks5hWithUser, HttpWithUser };

std::string nameOf(Kind kind) {
    switch (kind) {
    case Kind::Socks5: return "Socks5";
    case Kind::Socks5hWithUser: return "Socks5hWithUser";
    case Kind::HttpWithUser: return "HttpConnectWithUser";
    }
    return "unknown";
}

void PrintTo(Kind kind, std::ostream* os) { *os << nameOf(kind); }

class ProxyWindowTest : public testing::Test {
protected:
    void SetUp() override {
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
    }
    void TearDown() override {
        program.reset();
        SetErrorReportSink(nullptr);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
    }
    void start(const TransferOptions& options, const QByteArray& siteUrl) {
        const ProcessResult config =
            RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"),
                       {QStringLiteral("site-config"), QString::fromUtf8(siteUrl), QStringLiteral("Proxied"),
                        QString::fromUtf8(siteUrl) + QStringLiteral("vendor/"), QStringLiteral("-o"),
                        dir.filePath(QStringLiteral("quellix.cfg"))});
        ASSERT_EQ(config.exitCode, 0) << config.err.constData();
        ASSERT_TRUE(WriteTransferOptions(LocalFiles(dir.path()), options));
        program = std::make_unique<QuellixProgram>(dir.path(), [this](const MsgDlgMessage& m) {
            messages.append(m);
            return TModalResult::mrOk;
        });
        program->Start();
    }
    void clickLogin(const DemoAccount& account) {
        TLoginFrm& login = *program->LoginFrm;
        login.ED_User->setText(account.name);
        login.ED_Pwd->setText(account.password);
        QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    }
    TMainFrm& main() { return *program->MainFrm; }

    QTemporaryDir dir, localDir;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
};

class ProxyWindowTlsTest : public ProxyWindowTest, public testing::WithParamInterface<Kind> {
protected:
    void SetUp() override {
        ProxyWindowTest::SetUp();
        QString error;
        ASSERT_TRUE(MakeSelfSignedCertificate(ftpCert(), keys.filePath(QStringLiteral("ftp-key.pem")), error,
                                              QStringLiteral("IP:127.0.0.1")))
            << error.toStdString();
        site = std::make_unique<DemoSite>(QStringList{
            QStringLiteral("--big-file-mib"), QStringLiteral("1"), QStringLiteral("--only-from"),
            QString::fromLatin1(kProxyExitAddress), QStringLiteral("--ftp-tls-cert"), ftpCert(),
            QStringLiteral("--ftp-tls-key"), keys.filePath(QStringLiteral("ftp-key.pem"))});
        ASSERT_TRUE(site->isRunning()) << site->errorText().toStdString();
        // nginx over TLS in front of the site: it too takes only the proxy,
        // and reaches the site from the proxy's exit address.
        const QByteArray front = QByteArray("    allow ") + kProxyExitAddress +
                                 ";\n    deny all;\n"
                                 "    location / {\n"
                                 "      proxy_pass http://127.0.0.1:" +
                                 QByteArray::number(site->httpPort()) +
                                 ";\n"
                                 "      proxy_bind " +
                                 kProxyExitAddress +
                                 ";\n"
                                 "      proxy_set_header Host $http_host;\n"
                                 "    }\n";
        ASSERT_TRUE(nginx.start(root.path(), true, front)) << nginx.error().toStdString();
    }
    QString ftpCert() const { return keys.filePath(QStringLiteral("ftp-cert.pem")); }
    // Every component of the windows trusts the test's two certificates.
    void trustCertificates() {
        const QList<QSslCertificate> web = QSslCertificate::fromPath(nginx.certificateFile());
        ASSERT_EQ(web.size(), 1);
        for (THttpCli* http : {&program->LoginFrm->HttpCli1, &program->LoginFrm->HttpAds, &main().HttpLoadSet,
                               &main().HttpAds, &main().Browser().HttpMydisk, &main().Registration().HttpPostFL})
            http->ExtraCaCertificates = web;
        main().Downloads().ConfigureDownloader = [web](TMultipartHttpDownloader& d) { d.ExtraCaCertificates = web; };
        ASSERT_EQ(main().Upload().ftp1.AddTrustedCertificates(ftpCert()), 1);
    }

    QTemporaryDir keys, root;
    std::unique_ptr<DemoSite> site;
    NginxServer nginx;
    DanteProxy dante;
    TinyProxy tiny;
};

TEST_P(ProxyWindowTlsTest, ALoginTheListingAnUploadAndADownloadGoThroughTheProxyOverTls) {
    TransferOptions options;
    QByteArray password;
    switch (GetParam()) {
    case Kind::Socks5:
        ASSERT_TRUE(dante.start()) << dante.error().toStdString();
        // The options' SOCKS5 lets the proxy resolve; this one resolves here.
        options.proxy = ProxyOptions{ProxyMode::Socks5, QStringLiteral("127.0.0.1"), dante.port(), QString()};
        break;
    case Kind::Socks5hWithUser:
        ASSERT_TRUE(dante.start("proxyuser", "s3cret")) << dante.error().toStdString();
        options.proxy = ProxyOptions{ProxyMode::Socks5, QStringLiteral("127.0.0.1"), dante.port(),
                                     QStringLiteral("proxyuser")};
        password = "s3cret";
        break;
    case Kind::HttpWithUser:
        ASSERT_TRUE(tiny.start("proxyuser", "s3cret")) << tiny.error().toStdString();
        options.proxy = ProxyOptions{ProxyMode::Http, QStringLiteral("127.0.0.1"), tiny.port(),
                                     QStringLiteral("proxyuser")};
        password = "s3cret";
        break;
    }
    options.uploadLimitKBps = 8192;
    options.downloadLimitKBps = 8192;
    start(options, nginx.baseUrl() + "/");
    trustCertificates();
    // The password comes from the keyring through 传输设置's path.
    main().ApplyTransferOptions(options, password);
    if (GetParam() == Kind::Socks5) {
        NetConnectorSettings resolvingHere = main().Connector().Settings();
        resolvingHere.proxy.type = NetProxyType::Socks5;
        main().Connector().Apply(resolvingHere);
    }
    EXPECT_EQ(main().Connector().UploadLimiter().Rate(), 8192 * 1024);

    const DemoAccount account = site->account(QStringLiteral("demo"));
    clickLogin(account);
    ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 30000)) << messages.value(0).text.toStdString();
    ASSERT_TRUE(WaitFor([&] { return !main().SiteSettings.FtpHost.isEmpty() && main().lv1->Count() > 0; }, 30000));

    QByteArray bytes(300001, Qt::Uninitialized);
    QRandomGenerator generator(5);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    WriteFileBytes(localDir.filePath(QStringLiteral("via-proxy.bin")), bytes);
    main().QueueCommands().spOpenDlg = [this](QWidget*) {
        return QStringList{localDir.filePath(QStringLiteral("via-proxy.bin"))};
    };
    QTest::mouseClick(main().BtnSelFile2, Qt::LeftButton);
    QTest::mouseClick(main().btnUpload, Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    ASSERT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
    EXPECT_TRUE(main().Upload().ftp1.TlsActive());

    // The file back, from the refreshed listing, through the download window.
    main().N25->trigger();  // 刷新目录
    int row = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (int r = 0; r < main().lv1->Count(); ++r)
                if (main().lv1->Caption(r) == QStringLiteral("via-proxy.bin"))
                    row = r;
            return row >= 0;
        },
        30000));
    for (int r = 0; r < main().lv1->Count(); ++r)
        main().lv1->SetSelected(r, r == row);
    TDownFrm& down = *program->DownFrm;
    QTemporaryDir target;
    down.ChooseFolder = [&](QWidget*, const QString&) { return target.path() + QLatin1Char('/'); };
    down.OpenFolder = [](const QString&) {};
    DownloadScheduler& queue = main().Downloads();
    const int rows = queue.Queue.Count();
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(down.spSkinButton1, Qt::LeftButton);  // 立即下载
        down.close();
    });
    main().NDownClick();
    ASSERT_TRUE(WaitFor([&] { return queue.Queue.Count() == rows + 1 && queue.AtRest(); }, 30000));
    const QString got = queue.Queue.Row(queue.Queue.Count() - 1).LocalPath;
    EXPECT_TRUE(ReadFileBytes(got) == bytes) << got.toStdString();

    const QByteArray proxyLog = GetParam() == Kind::HttpWithUser ? tiny.log() : dante.log();
    EXPECT_TRUE(proxyLog.contains(QByteArray::number(nginx.port())));
    EXPECT_TRUE(proxyLog.contains(QByteArray::number(site->ftpPort())));
}

INSTANTIATE_TEST_SUITE_P(Proxies, ProxyWindowTlsTest,
                         testing::Values(Kind::Socks5, Kind::Socks5hWithUser, Kind::HttpWithUser),
                         [](const testing::TestParamInfo<Kind>& info) { return nameOf(info.param); });

TEST_F(ProxyWindowTest, AProxyThatIsDownIsNamedWhenTheLoginCannotReachTheSite) {
    DemoSite site{{QStringLiteral("--big-file-mib"), QStringLiteral("1")}};
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    const quint16 down = UnusedPort();
    TransferOptions options;
    options.proxy = ProxyOptions{ProxyMode::Http, QStringLiteral("127.0.0.1"), down, QString()};
    start(options, site.siteUrl());
    clickLogin(site.account(QStringLiteral("demo")));
    ASSERT_TRUE(WaitFor([&] { return !messages.isEmpty(); }, 20000));
    EXPECT_EQ(messages[0].text, u("代理服务器 127.0.0.1:%1 无法连接：Connection refused (Error #10061)").arg(down));
    EXPECT_FALSE(main().isVisible());

    // 传输设置's OK without a proxy: the next login goes straight to the site.
    main().ApplyTransferOptions(TransferOptions{}, QByteArray());
    EXPECT_EQ(main().Connector().Settings().proxyMode, NetConnectorSettings::ProxyMode::None);
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    clickLogin(site.account(QStringLiteral("demo")));
    EXPECT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000));
}

}  // namespace

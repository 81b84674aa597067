// The windows with the proxy and the limits of quellix.ini: the main window
// makes the connector from the options at start and hands it to every
// network component, so the login, the listing and an upload (control and
// data connections) reach a demo site that takes only the proxy's
// connections. New options from the settings dialog hold at once; a proxy
// that is down is named in the login window's message.

#include "app/Main.h"
#include "app/program.h"
#include "config/transferoptions.h"
#include "login/gui/uLogin.h"
#include "net/netconnector.h"
#include "support/demosite.h"
#include "support/proxyservers.h"
#include "support/scriptedserver.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QDir>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class ProxyWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
        ASSERT_TRUE(site.writeSiteConfig(dir.path()));
        account = site.account(QStringLiteral("demo"));
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
    }
    void TearDown() override {
        program.reset();
        SetErrorReportSink(nullptr);
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::DefaultProxy));
    }
    void start(const TransferOptions& options) {
        ASSERT_TRUE(WriteTransferOptions(LocalFiles(dir.path()), options));
        program = std::make_unique<QuellixProgram>(dir.path(), [this](const MsgDlgMessage& m) {
            messages.append(m);
            return TModalResult::mrOk;
        });
        program->Start();
    }
    void clickLogin() {
        TLoginFrm& login = *program->LoginFrm;
        login.ED_User->setText(account.name);
        login.ED_Pwd->setText(account.password);
        QTest::mouseClick(login.btnLogin, Qt::LeftButton);
    }
    TMainFrm& main() { return *program->MainFrm; }

    DemoSite site{{QStringLiteral("--big-file-mib"), QStringLiteral("1"), QStringLiteral("--only-from"),
                   QString::fromLatin1(kProxyExitAddress)}};
    DemoAccount account;
    QTemporaryDir dir, localDir;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
};

TEST_F(ProxyWindowTest, TheWindowsLogInListAndUploadThroughTheProxyOfTheOptionsAndNewOptionsHoldAtOnce) {
    DanteProxy dante;
    ASSERT_TRUE(dante.start()) << dante.error().toStdString();
    TransferOptions options;
    options.proxy = ProxyOptions{ProxyMode::Socks5, QStringLiteral("127.0.0.1"), dante.port(), QString()};
    options.uploadLimitKBps = 4096;
    options.downloadLimitKBps = 8192;
    start(options);
    EXPECT_EQ(main().Connector().UploadLimiter().Rate(), 4096 * 1024);
    EXPECT_EQ(main().Connector().DownloadLimiter().Rate(), 8192 * 1024);
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::Socks5Proxy);  // the web views'

    clickLogin();
    ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000)) << messages.value(0).text.toStdString();
    ASSERT_TRUE(WaitFor([&] { return !main().SiteSettings.FtpHost.isEmpty() && main().lv1->Count() > 0; }, 20000));

    const QByteArray bytes(250000, 'p');
    WriteFileBytes(localDir.filePath(QStringLiteral("via-proxy.bin")), bytes);
    main().QueueCommands().spOpenDlg = [this](QWidget*) {
        return QStringList{localDir.filePath(QStringLiteral("via-proxy.bin"))};
    };
    QTest::mouseClick(main().BtnSelFile2, Qt::LeftButton);
    QTest::mouseClick(main().btnUpload, Qt::LeftButton);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
    EXPECT_TRUE(ReadFileBytes(site.dataDir() + QStringLiteral("/disk/") + account.name +
                              QStringLiteral("//via-proxy.bin")) == bytes);
    EXPECT_TRUE(dante.log().contains("." + QByteArray::number(site.ftpPort())));

    // The settings dialog's new options: no proxy, no limits.
    main().ApplyTransferOptions(TransferOptions{}, QByteArray());
    EXPECT_EQ(main().Connector().Settings().proxyMode, NetConnectorSettings::ProxyMode::None);
    EXPECT_FALSE(main().Connector().UploadLimiter().Limited());
    EXPECT_EQ(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
}

TEST_F(ProxyWindowTest, AProxyThatIsDownIsNamedWhenTheLoginCannotReachTheSite) {
    const quint16 down = UnusedPort();
    TransferOptions options;
    options.proxy = ProxyOptions{ProxyMode::Http, QStringLiteral("127.0.0.1"), down, QString()};
    start(options);
    clickLogin();
    ASSERT_TRUE(WaitFor([&] { return !messages.isEmpty(); }, 20000));
    EXPECT_EQ(messages[0].text, u("代理服务器 127.0.0.1:%1 无法连接：Connection refused (Error #10061)").arg(down));
    EXPECT_FALSE(main().isVisible());
}

}  // namespace

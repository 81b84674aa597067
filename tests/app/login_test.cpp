// The login window against a scripted site.

#include "windowtest.h"

#include "config/siteconfig.h"
#include "text/gbk.h"
#include "net/nestedwait.h"
#include "text/md5.h"
#include "text/scramble.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

using LoginTest = WindowTest;

TEST_F(LoginTest, AnAcceptedLoginPostsTheDigestAndShowsTheMainWindow) {
    createProgram();
    EXPECT_EQ(loginFrm().Welcome_txt->text(), QString::fromUtf8("欢迎使用 Demo Disk"));
    login(QStringLiteral("  a&b c  "), QStringLiteral(" secret "));
    ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
    EXPECT_FALSE(loginFrm().isVisible());
    const QList<FakeRequest> logins = site.requestsFor("login");
    ASSERT_EQ(logins.size(), 1);
    // Trimmed, unescaped name; lower-case MD5 of the trimmed password.
    EXPECT_EQ(logins[0].body, "action=login&username=a&b c&password=" + Md5Hex("secret").toLower());
    EXPECT_EQ(logins[0].path, "/plugins/quellix_client/client_main.php");
    EXPECT_TRUE(logins[0].head.contains("User-Agent: quellix-client\r\n"));
    EXPECT_TRUE(logins[0].head.contains("Content-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_EQ(site.requests().first().method, "HEAD");  // the probe comes first
    EXPECT_EQ(loginFrm().Session().AccountName, "alice");
    EXPECT_EQ(loginFrm().Session().AccountToken, "TOKEN42");
    EXPECT_FALSE(loginFrm().Session().DebugLogEnabled);
    EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登录中..."));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LoginTest, EmptyFieldsAskForNameAndPasswordWithoutAnyRequest) {
    createProgram();
    login(QStringLiteral("   "), QStringLiteral("pw"));
    login(QStringLiteral("bob"), QStringLiteral("\t "));
    ASSERT_EQ(messages.size(), 2);
    for (const MsgDlgMessage& m : messages) {
        EXPECT_EQ(m.text, QString::fromUtf8("请输入正确的网盘用户名及密码"));
        EXPECT_EQ(m.title, QString::fromUtf8("提示信息"));
    }
    EXPECT_TRUE(site.requests().isEmpty());
}

TEST_F(LoginTest, ARefusedLoginShowsTheSitesLineAndEmptiesThePassword) {
    replies["login"] = {200, "用户名或密码错误\r\n"_gbk};
    createProgram();
    login();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].type, TMsgDlgType::mtWarning);
    EXPECT_EQ(messages[0].text, QString::fromUtf8("用户名或密码错误"));
    EXPECT_TRUE(loginFrm().ED_Pwd->text().isEmpty());
    EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登 录"));
    EXPECT_FALSE(mainFrm().isVisible());
    EXPECT_FALSE(loginFrm().Session().LoggedIn);
}

TEST_F(LoginTest, AnUnreachableSiteIsReportedAndNoLoginIsSent) {
    createProgram("http://127.0.0.1:" + QByteArray::number(UnusedPort()) + "/");
    login();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QString::fromUtf8("网盘主站无响应或配置异常，请联系网盘管理员解决！"));
}

TEST_F(LoginTest, ASilentSiteFailsTheProbeAtItsTimeLimit) {
    site.handler = [](const FakeRequest&) { return FakeReply{200, {}, {}, true}; };
    createProgram();
    loginFrm().Probe().TimeLimitMs = 300;
    login();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QString::fromUtf8("网盘主站无响应或配置异常，请联系网盘管理员解决！"));
    EXPECT_TRUE(site.requestsFor("login").isEmpty());
}

TEST_F(LoginTest, ReplyLinesDecideTheAccountAndTheDebugFlag) {
    struct Case {
        QByteArray body;
        bool debug;
    };
    for (const Case& c : {Case{"bob\r\nT1\r\n1\r\n", true}, Case{"bob\r\nT1\r\n1 \r\n", false},
                          Case{"bob\r\nT1\r\n", false}, Case{"bob\r\nT1\r\n1\r\nextra\r\n", true}}) {
        replies["login"] = {200, c.body};
        createProgram();
        login();
        ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); })) << c.body.toStdString();
        EXPECT_EQ(loginFrm().Session().AccountName, "bob");
        EXPECT_EQ(loginFrm().Session().AccountToken, "T1");
        EXPECT_EQ(loginFrm().Session().DebugLogEnabled, c.debug) << c.body.toStdString();
        program.reset();
    }
}

TEST_F(LoginTest, AnEmptyReplyOrAnErrorStatusKeepsTheCaptionAndReportsTheStatus) {
    replies["login"] = {200, ""};
    createProgram();
    login();
    EXPECT_FALSE(mainFrm().isVisible());
    EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登录中..."));
    EXPECT_TRUE(errors.isEmpty());
    replies["login"] = {500, "oops"};
    login();
    ASSERT_EQ(errors.size(), 1);  // the blocking post raises for the 500
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LoginTest, AnotherStatusThatRaisesNoErrorIsReportedAndGivesTheButtonBack) {
    createProgram();
    // 204; 302 back to the login address until the relocation limit; 401.
    const QByteArray again = "Location: " + site.url() + "plugins/quellix_client/client_main.php\r\n";
    const FakeReply cases[] = {{204, ""}, {302, "", "text/plain", false, again}, {401, "no"}};
    for (const FakeReply& reply : cases) {
        site.handler = [reply](const FakeRequest& r) { return r.method == "HEAD" ? FakeReply{} : reply; };
        messages.clear();
        login();
        ASSERT_EQ(messages.size(), 1) << reply.status;
        EXPECT_EQ(messages[0].type, TMsgDlgType::mtWarning);
        EXPECT_EQ(messages[0].text, QString::fromUtf8("登录失败：网站返回状态 %1。").arg(reply.status));
        EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登 录"));
        EXPECT_FALSE(mainFrm().isVisible());
        EXPECT_FALSE(loginFrm().Session().LoggedIn);
    }
    EXPECT_EQ(site.requestsFor("login").size(), 3);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(LoginTest, AnAcceptedReplyWithoutANameOrTokenIsARefusedLogin) {
    createProgram();
    for (const QByteArray& body : {QByteArray(" \r\nT1\r\n1\r\n"), QByteArray("bob\r\n\t\r\n0\r\n")}) {
        replies["login"] = {200, body};
        messages.clear();
        login();
        ASSERT_EQ(messages.size(), 1) << body.toStdString();
        EXPECT_EQ(messages[0].type, TMsgDlgType::mtWarning);
        EXPECT_EQ(messages[0].text, QString::fromUtf8("登录失败：网站的回复中没有帐号或登录凭据。"));
        EXPECT_TRUE(loginFrm().ED_Pwd->text().isEmpty());
        EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登 录"));
        EXPECT_FALSE(mainFrm().isVisible());
        EXPECT_FALSE(loginFrm().Session().LoggedIn);
        EXPECT_TRUE(loginFrm().Session().AccountToken.isEmpty());
    }
    EXPECT_TRUE(site.requestsFor("loadset").isEmpty());
}

TEST_F(LoginTest, SwitchingAccountForgetsTheTokenAndShowsTheLoginWindowAgain) {
    createProgram();
    login();
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 1; }));
    mainFrm().N10Click();
    EXPECT_TRUE(loginFrm().isVisible());
    EXPECT_FALSE(mainFrm().isVisible());
    EXPECT_EQ(loginFrm().btnLogin->text(), QString::fromUtf8("登 录"));
    EXPECT_TRUE(loginFrm().Session().AccountToken.isEmpty());
    EXPECT_EQ(loginFrm().ED_User->text(), "alice");  // the fields keep their text
    replies["login"] = {200, "carol\r\nNEWTOKEN\r\n0\r\n"};
    const qsizetype before = site.requests().size();
    login(QStringLiteral("carol"), QStringLiteral("pw2"));
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("mydisk").size() == 2; }));
    ASSERT_TRUE(WaitFor([&] { return site.requestsFor("loadset").size() == 2; }));
    for (const FakeRequest& r : site.requests().mid(before))
        EXPECT_FALSE(r.body.contains("TOKEN42")) << r.body.toStdString();
    EXPECT_EQ(site.requestsFor("loadset").last().body, "action=loadset&username=carol&password=NEWTOKEN");
}

TEST_F(LoginTest, AMissingSiteConfigurationIsReportedAndLoginsFailAtTheProbe) {
    int asked = 0;
    const auto cancel = [&](QWidget*) -> std::optional<SiteAddress> {
        ++asked;
        return std::nullopt;
    };
    program = std::make_unique<QuellixProgram>(dir.path(), interceptor(), false, cancel);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QString::fromUtf8("网盘配置读取失败，请重新安装网盘客户端"));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("quellix.cfg"))));
    EXPECT_TRUE(loginFrm().Session().SiteUrl.isEmpty());
    program->Start();
    login();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1].text, QString::fromUtf8("网盘主站无响应或配置异常，请联系网盘管理员解决！"));
}

// An installed copy without any quellix.cfg: after the message the user names
// the site; the program writes the user's quellix.cfg (with the final "/")
// and logs in there. Nothing is written beside the program.
TEST_F(LoginTest, ASiteNamedByTheUserIsWrittenToTheUsersDataFolderAndUsed) {
    QTemporaryDir data;
    const LocalFiles files(dir.path(), {data.filePath(QStringLiteral("quellix")), data.filePath(QStringLiteral("dl")),
                                        data.filePath(QStringLiteral("etc.cfg"))});
    QByteArray url = site.url();
    url.chop(1);
    qsizetype messagesWhenAsked = -1;
    const auto ask = [&](QWidget*) -> std::optional<SiteAddress> {
        messagesWhenAsked = messages.size();
        return SiteAddress{url, "我的网盘"_gbk};
    };
    program = std::make_unique<QuellixProgram>(files, interceptor(), false, ask);
    EXPECT_EQ(messagesWhenAsked, 1);
    const QString written = data.filePath(QStringLiteral("quellix/quellix.cfg"));
    ASSERT_EQ(files.siteConfigFile(), written);
    const QByteArray line = ReadFileBytes(written);
    ASSERT_TRUE(line.endsWith("\r\n"));
    EXPECT_EQ(SiteConfigCodec(line.chopped(2), CodecDirection::Decode), site.url() + "|" + "我的网盘"_gbk);
    EXPECT_EQ(loginFrm().Session().SiteUrl, site.url());
    EXPECT_EQ(loginFrm().Welcome_txt->text(), QString::fromUtf8("欢迎使用 我的网盘"));
    program->Start();
    login();
    ASSERT_TRUE(WaitFor([&] { return mainFrm().isVisible(); }));
    EXPECT_TRUE(QDir(data.filePath(QStringLiteral("quellix/skins"))).exists());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

// The site dialog: "确定" only with both items; the items trimmed, as GBK;
// "取消" gives nothing.
TEST(SiteDialog, GivesTheTypedSiteOnlyWhenBothItemsAreThere) {
    bool okWhenHalfFilled = true;
    const auto fill = [&](bool accept) {
        QTimer::singleShot(0, [&okWhenHalfFilled, accept] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            dialog->findChild<QLineEdit*>(QStringLiteral("ED_SiteUrl"))->setText(QStringLiteral(" http://pan.example/ "));
            okWhenHalfFilled = ok->isEnabled();
            dialog->findChild<QLineEdit*>(QStringLiteral("ED_SiteName"))->setText(QString::fromUtf8("示例 网盘 "));
            (accept ? ok : dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel))->click();
        });
    };
    fill(true);
    const std::optional<SiteAddress> site = AskSiteAddress(nullptr);
    EXPECT_FALSE(okWhenHalfFilled);
    ASSERT_TRUE(site.has_value());
    EXPECT_EQ(site->SiteUrl, "http://pan.example/");
    EXPECT_EQ(site->SiteName, "示例 网盘"_gbk);
    fill(false);
    EXPECT_FALSE(AskSiteAddress(nullptr).has_value());
}

TEST_F(LoginTest, ABrokenSiteConfigurationGoesToTheErrorReport) {
    WriteFileBytes(dir.filePath(QStringLiteral("quellix.cfg")), "A-not-a-frame-at-all-but-long-enough-to-try-Z\r\n");
    program = std::make_unique<QuellixProgram>(dir.path(), interceptor());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].endsWith("is not a valid integer value")) << errors[0].toStdString();
    EXPECT_TRUE(loginFrm().Session().SiteUrl.isEmpty());
}

}  // namespace

namespace {

TEST(StandardErrorReport, ShowsTheErrorTextInAnErrorMessageUnlessTheProgramIsEnding) {
    TMsgDlg msgDlg;
    QList<MsgDlgMessage> shown;
    msgDlg.Interceptor = [&](const MsgDlgMessage& m) {
        shown.append(m);
        return TModalResult::mrOk;
    };
    const ErrorReportSink report = StandardErrorReport(msgDlg);
    report("EHttpException", "HTTP component HttpMydisk is busy");
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].type, TMsgDlgType::mtError);
    EXPECT_EQ(shown[0].title, "Error");
    EXPECT_EQ(shown[0].text, "HTTP component HttpMydisk is busy");
    SetApplicationTerminating(true);
    report("EHttpException", "Request aborted");
    SetApplicationTerminating(false);
    EXPECT_EQ(shown.size(), 1);
}

TEST(StandardErrorReport, ABrokenSiteConfigurationIsShownAtTheLoginWindowsCreation) {
    QTemporaryDir dir;
    WriteFileBytes(dir.filePath(QStringLiteral("quellix.cfg")), "A-not-a-frame-at-all-but-long-enough-to-try-Z\r\n");
    QList<MsgDlgMessage> shown;
    {
        QuellixProgram program(dir.path(), [&](const MsgDlgMessage& m) {
            shown.append(m);
            return TModalResult::mrOk;
        }, true);
    }
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].type, TMsgDlgType::mtError);
    EXPECT_TRUE(shown[0].text.endsWith(QStringLiteral("is not a valid integer value"))) << shown[0].text.toStdString();
}

}  // namespace

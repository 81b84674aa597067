// The windows of the saved login, the notifications and "传输设置", the
// program's own windows offscreen against the demo site: the login
// window's boxes with a keyring (a store of the test's own) and without one
// (a session bus where no Secret Service answers), "传输设置" from the
// options menu, and the notifications of an upload run and a download,
// recorded by a notification server on the test's session bus.

#include "app/Main.h"
#include "app/program.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "login/savedlogin.h"
#include "notify/transfernotifier.h"
#include "options/gui/uTransfer.h"
#include "support/demosite.h"
#include "support/fakesecrets.h"
#include "support/sessionbus.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The widget Tab moves to from `w` (whether enabled or not).
QWidget* nextTabStop(QWidget* w) {
    do
        w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
}

struct RecordedNotices : NoticeSink {
    QList<DesktopNotice> shown;
    void Show(const DesktopNotice& notice) override { shown.append(notice); }
};

class DesktopWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() { site_ = new DemoSite(); }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString();
        ASSERT_TRUE(site_->writeSiteConfig(dir.path()));
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
    }
    void TearDown() override {
        program.reset();
        SetErrorReportSink(nullptr);
    }
    // The program with `desktop`'s services (the test's own when not given).
    void start() { start(DesktopServices{&secrets, &notices}); }
    void start(DesktopServices desktop) {
        program = std::make_unique<QuellixProgram>(dir.path(),
                                                   [this](const MsgDlgMessage& m) {
                                                       messages.append(m);
                                                       return answerWith;
                                                   },
                                                   false, nullptr, desktop);
        program->Start();
    }
    TLoginFrm& login() { return *program->LoginFrm; }
    TMainFrm& main() { return *program->MainFrm; }
    bool loggedIn() {
        return WaitFor([&] { return main().isVisible() && main().lv1->Count() > 0 && !main().loading->isVisible(); },
                       20000);
    }
    QList<QByteArray> loginBodies() const {
        QList<QByteArray> bodies;
        for (const LoggedRequest& r : site_->requests())
            if (r.body.startsWith("action=login&"))
                bodies << r.body;
        return bodies;
    }
    QString ini() const { return dir.filePath(QStringLiteral("quellix.ini")); }

    static DemoSite* site_;
    QTemporaryDir dir;
    FakeSecrets secrets;
    RecordedNotices notices;
    std::unique_ptr<QuellixProgram> program;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
    TModalResult answerWith = TModalResult::mrOk;
};

DemoSite* DesktopWindowTest::site_ = nullptr;

TEST_F(DesktopWindowTest, RememberedLoginFillsTheFieldsLogsInByItselfAndARefusalRemovesIt) {
    const DemoAccount account = site_->account(u("张三"));
    const QString key = SiteAccountKey(site_->siteUrl(), ToGbk(account.name));
    start();
    // The boxes stand between the password and the button, in the tab order.
    EXPECT_TRUE(login().CB_Remember->isEnabled());
    EXPECT_FALSE(login().CB_AutoLogin->isEnabled());  // only with "记住密码"
    EXPECT_EQ(nextTabStop(login().ED_Pwd), login().CB_Remember);
    EXPECT_EQ(nextTabStop(login().CB_Remember), login().CB_AutoLogin);
    EXPECT_EQ(nextTabStop(login().CB_AutoLogin), login().btnLogin);
    EXPECT_EQ(login().CB_Remember->accessibleName(), u("记住密码"));

    login().ED_User->setText(account.name);
    login().ED_Pwd->setText(account.password);
    QTest::mouseClick(login().CB_Remember, Qt::LeftButton, {}, QPoint(8, 12));
    QTest::mouseClick(login().CB_AutoLogin, Qt::LeftButton, {}, QPoint(8, 12));
    QTest::mouseClick(login().btnLogin, Qt::LeftButton);
    ASSERT_TRUE(loggedIn());
    const QByteArray digest = PasswordDigest(account.password.toUtf8());
    EXPECT_EQ(secrets.entries, (QMap<QString, QByteArray>{{key, digest}}));
    EXPECT_FALSE(ReadFileBytes(ini()).contains(digest));
    EXPECT_TRUE(ReadFileBytes(ini()).contains("autoLogin=true"));

    // The next start fills the fields and logs in by itself, once.
    program.reset();
    start();
    EXPECT_EQ(login().ED_User->text(), account.name);
    EXPECT_FALSE(login().ED_Pwd->text().isEmpty());
    EXPECT_TRUE(login().UsingSavedSecret());
    ASSERT_TRUE(loggedIn());
    const QByteArray body = "action=login&username=" + ToGbk(account.name) + "&password=" + digest;
    EXPECT_EQ(loginBodies().mid(loginBodies().size() - 2), (QList<QByteArray>{body, body}));
    EXPECT_TRUE(messages.isEmpty());

    // "切换帐号" offers to forget; Cancel keeps the saved login.
    answerWith = TModalResult::mrCancel;
    main().N10->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages.last().text, SavedLoginText::ForgetQuestion(account.name));
    EXPECT_TRUE(secrets.entries.contains(key));
    EXPECT_TRUE(login().isVisible());

    // The site no longer takes the saved secret: the login says so and it
    // goes; the next start has only the account.
    secrets.entries[key] = "00000000000000000000000000000000";
    program.reset();
    messages.clear();
    answerWith = TModalResult::mrOk;
    start();
    ASSERT_TRUE(WaitFor([&] { return !messages.isEmpty(); }, 20000));
    EXPECT_EQ(messages.first().type, TMsgDlgType::mtWarning);
    EXPECT_TRUE(messages.first().text.endsWith(u("\n") + SavedLoginText::RefusedRemoved())) << messages.first().text.toStdString();
    EXPECT_FALSE(secrets.entries.contains(key));
    EXPECT_TRUE(login().ED_Pwd->text().isEmpty());
    EXPECT_FALSE(main().isVisible());
    program.reset();
    start();
    EXPECT_EQ(login().ED_User->text(), account.name);
    EXPECT_TRUE(login().ED_Pwd->text().isEmpty());
    EXPECT_FALSE(login().UsingSavedSecret());
}

TEST_F(DesktopWindowTest, SwitchingAccountForgetsTheSavedLoginWhenTheUserSaysSo) {
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    start();
    login().ED_User->setText(account.name);
    login().ED_Pwd->setText(account.password);
    login().CB_Remember->setChecked(true);
    QTest::mouseClick(login().btnLogin, Qt::LeftButton);
    ASSERT_TRUE(loggedIn());
    ASSERT_EQ(secrets.entries.size(), 1);
    main().N10->trigger();
    EXPECT_TRUE(secrets.entries.isEmpty());
    EXPECT_FALSE(login().CB_Remember->isChecked());
    EXPECT_FALSE(ReadTransferOptions(ini()).rememberPassword);

    // Typing over a saved login sends what was typed.
    login().CB_Remember->setChecked(true);
    QTest::mouseClick(login().btnLogin, Qt::LeftButton);
    ASSERT_TRUE(loggedIn());
    program.reset();
    start();
    ASSERT_TRUE(login().UsingSavedSecret());
    QTest::keyClicks(login().ED_Pwd, QStringLiteral("n"));  // a new password: only it stays
    EXPECT_EQ(login().ED_Pwd->text(), QStringLiteral("n"));
    EXPECT_FALSE(login().UsingSavedSecret());
    program.reset();
    start();
    QTest::keyClicks(login().ED_User, QStringLiteral("x"));  // another account: the stand-in goes
    EXPECT_TRUE(login().ED_Pwd->text().isEmpty());
    EXPECT_FALSE(login().UsingSavedSecret());
}

TEST_F(DesktopWindowTest, WithoutSecretServiceTheBoxesAreDisabledAndSayWhy) {
    TestSessionBus bus(false);
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    bus.useInThisProcess();
    start(DesktopServices{nullptr, &notices});  // the desktop's own keyring
    for (QCheckBox* box : {login().CB_Remember, login().CB_AutoLogin}) {
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->toolTip(), u("没有找到系统钥匙环服务（Secret Service），无法保存密码。"));
        EXPECT_EQ(box->accessibleDescription(), box->toolTip());
    }
    // The login goes on as before.
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    login().ED_User->setText(account.name);
    login().ED_Pwd->setText(account.password);
    QTest::mouseClick(login().btnLogin, Qt::LeftButton);
    ASSERT_TRUE(loggedIn());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DesktopWindowTest, TransferSettingsFromTheOptionsMenuSavesAndHandsTheOptionsOn) {
    start();
    QList<TransferOptions> applied;
    QList<QByteArray> passwords;
    main().ApplyNetworkOptions = [&](const TransferOptions& o, const QByteArray& password) {
        applied << o;
        passwords << password;
    };
    ASSERT_EQ(main().OptionsMenu->actions().at(1), main().NTransfer);
    EXPECT_EQ(main().NTransfer->text(), u("传输设置"));

    TTransferFrm* dialog = main().TransferFrm();
    ASSERT_NE(dialog, nullptr);
    bool shown = false;
    QTimer::singleShot(0, [&] {
        shown = dialog->isVisible();
        EXPECT_EQ(dialog->windowTitle(), u("传输设置"));
        dialog->SE_Uploads->setValue(4);
        dialog->CB_Proxy->setCurrentIndex(3);  // SOCKS5
        EXPECT_TRUE(dialog->ED_ProxyHost->isEnabled());
        QTest::keyClicks(dialog->ED_ProxyHost, QStringLiteral("127.0.0.1"));
        QTest::keyClicks(dialog->ED_ProxyUser, QStringLiteral("alice"));
        QTest::keyClicks(dialog->ED_ProxyPwd, QStringLiteral("pw 1"));
        dialog->ED_UpLimit->setText(QStringLiteral("256"));
        // No port: the dialog stays, with the focus on the port.
        QTest::mouseClick(dialog->btnOk, Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(messages.last().text, u("代理服务器的端口应在 1 到 65535 之间。"));
        EXPECT_EQ(dialog->focusWidget(), dialog->ED_ProxyPort);
        QTest::keyClicks(dialog->ED_ProxyPort, QStringLiteral("1080"));
        dialog->CB_Notify->setChecked(false);
        QTest::mouseClick(dialog->btnOk, Qt::LeftButton);
    });
    main().NTransfer->trigger();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(dialog->isVisible());

    TransferOptions expected;
    expected.parallelUploads = 4;
    expected.uploadLimitKBps = 256;
    expected.notifications = false;
    expected.proxy = ProxyOptions{ProxyMode::Socks5, QStringLiteral("127.0.0.1"), 1080, QStringLiteral("alice")};
    ASSERT_EQ(applied.size(), 1);
    EXPECT_EQ(applied.first(), expected);
    EXPECT_EQ(passwords.first(), QByteArray("pw 1"));
    EXPECT_EQ(main().Options(), expected);
    EXPECT_FALSE(main().Notifier()->Enabled);
    EXPECT_EQ(ReadTransferOptions(ini()), expected);
    EXPECT_FALSE(ReadFileBytes(ini()).contains("pw 1"));
    EXPECT_EQ(secrets.entries.value(ProxyPasswordKey(QStringLiteral("127.0.0.1"), 1080, QStringLiteral("alice"))),
              QByteArray("pw 1"));

    // Opened again it shows what is in force (the password as a stand-in);
    // Cancel changes nothing.
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(dialog->SE_Uploads->value(), 4);
        EXPECT_EQ(dialog->ED_ProxyPort->text(), QStringLiteral("1080"));
        EXPECT_FALSE(dialog->ED_ProxyPwd->text().isEmpty());
        dialog->SE_Uploads->setValue(1);
        QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
    });
    main().NTransfer->trigger();
    EXPECT_EQ(applied.size(), 1);
    EXPECT_EQ(ReadTransferOptions(ini()).parallelUploads, 4);
}

TEST_F(DesktopWindowTest, UploadRunsAndDownloadsEndWithADesktopNotificationWhileTheUserIsElsewhere) {
    TestSessionBus bus(false);
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startNotificationServer());
    bus.useInThisProcess();
    start(DesktopServices{&secrets, nullptr});  // the desktop's own notifications
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    login().ED_User->setText(account.name);
    login().ED_Pwd->setText(account.password);
    QTest::mouseClick(login().btnLogin, Qt::LeftButton);
    ASSERT_TRUE(loggedIn());

    // The user is in another window.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    ASSERT_FALSE(main().UserSeesWindow());

    QTemporaryDir local;
    const QString a = local.filePath(QStringLiteral("a.txt")), b = local.filePath(u("报告 b.txt"));
    WriteFileBytes(a, "first file\n");
    WriteFileBytes(b, "second file\n");
    main().QueueCommands().spOpenDlg = [&](QWidget*) { return QStringList{a, b}; };
    main().QueueCommands().AddLocalFiles();
    main().Upload().btnUploadClick();
    ASSERT_TRUE(WaitFor([&] { return bus.notifications().size() == 1; }, 30000));
    const QJsonObject upload = bus.notifications().first();
    EXPECT_EQ(upload.value(QStringLiteral("summary")).toString(), u("上传完成：2 个文件"));
    EXPECT_EQ(upload.value(QStringLiteral("body")).toString(), site_->siteName());
    EXPECT_EQ(upload.value(QStringLiteral("app_icon")).toString(), QStringLiteral("quellix"));

    // A download started from the download window ends while the user is
    // elsewhere again.
    TDownFrm& down = *program->DownFrm;
    main().DownloadPage().PlaySound = [](const QString&) {};
    down.OpenFolder = [](const QString&) {};
    for (int row = 0; row < main().lv1->Count(); ++row)
        main().lv1->SetSelected(row, main().lv1->Caption(row) == QStringLiteral("readme.txt"));
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(down.spSkinButton1, Qt::LeftButton);
        if (down.isVisible())
            down.close();
        elsewhere.activateWindow();
    });
    main().NDownClick();
    ASSERT_TRUE(WaitFor([&] { return bus.notifications().size() == 2; }, 30000));
    EXPECT_EQ(bus.notifications().last().value(QStringLiteral("summary")).toString(), u("下载完成：readme.txt"));

    // With the window in front nothing is sent.
    main().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main()));
    main().Notifier()->DownloadEnded(QStringLiteral("x"), true);
    main().Notifier()->UploadRunEnded(1, 0);
    EXPECT_FALSE(WaitFor([&] { return bus.notifications().size() > 2; }, 1000));
}

}  // namespace

// The desktop's services as the program and quellix-tool use them, against
// the real ones on a session bus of the test's own: GNOME Keyring's Secret
// Service (unlocked with a known password; secret-tool shows what it holds),
// a bus where no Secret Service answers, and a notification server that
// records every Notify call. Each test is a process of its own, so each
// connects to its own bus.

#include "login/sitelogin.h"
#include "platform/desktop/desktopnotifications.h"
#include "platform/desktop/keyring.h"
#include "support/demosite.h"
#include "support/sessionbus.h"
#include "support/sitetool.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <QDirIterator>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray searchQuellix(TestSessionBus& bus) {
    const ProcessResult found =
        bus.secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"),
                        QStringLiteral("Quellix")});
    return found.out + found.err;
}

TEST(KeyringTest, KeepsReadsAndRemovesSecretsInTheSecretServiceAndNoFileHoldsThem) {
    TestSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startKeyring());
    bus.useInThisProcess();
    Keyring keyring;
    ASSERT_TRUE(keyring.Available());
    EXPECT_EQ(keyring.UnavailableReason(), QString());

    const QString key = SiteAccountKey("http://127.0.0.1:8080/", ToGbk(u("张三")));
    const QByteArray digest = PasswordDigest("zhang san 88");
    EXPECT_EQ(keyring.Read(key).status, SecretStore::Status::NotFound);
    EXPECT_EQ(keyring.Write(key, digest).status, SecretStore::Status::Ok);
    const SecretStore::Result read = keyring.Read(key);
    EXPECT_EQ(read.status, SecretStore::Status::Ok);
    EXPECT_EQ(read.secret, digest);
    const QByteArray listed = searchQuellix(bus);
    EXPECT_TRUE(listed.contains(("attribute.user = " + key).toUtf8())) << listed.constData();
    // The keyring's own files hold it encrypted only (the daemon writes
    // them a moment after the change).
    const QString keyringFile = bus.environment().value(QStringLiteral("XDG_DATA_HOME")) +
                                QStringLiteral("/keyrings/login.keyring");
    EXPECT_TRUE(WaitFor([&] { return ReadFileBytes(keyringFile).size() > 0; }, 10000));
    QDirIterator files(bus.environment().value(QStringLiteral("HOME")), QDir::Files | QDir::Hidden,
                      QDirIterator::Subdirectories);
    int looked = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        ++looked;
        EXPECT_FALSE(ReadFileBytes(path).contains(digest)) << path.toStdString();
    }
    EXPECT_GT(looked, 0);

    EXPECT_EQ(keyring.Remove(key).status, SecretStore::Status::Ok);
    EXPECT_EQ(keyring.Read(key).status, SecretStore::Status::NotFound);
    EXPECT_FALSE(searchQuellix(bus).contains("attribute.user"));
}

TEST(KeyringTest, ABusWithoutSecretServiceOrNoBusAtAllMakesItUnavailableAtOnce) {
    TestSessionBus bus(false);
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    bus.useInThisProcess();
    Keyring keyring;
    EXPECT_FALSE(keyring.Available());
    EXPECT_EQ(keyring.UnavailableReason(), u("没有找到系统钥匙环服务（Secret Service），无法保存密码。"));
    const SecretStore::Result write = keyring.Write(QStringLiteral("k"), "v");
    EXPECT_EQ(write.status, SecretStore::Status::Unavailable);

    // No session bus: nothing is started to find one.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", QByteArray("/nonexistent"));
    Keyring without;
    EXPECT_FALSE(without.Available());
    EXPECT_EQ(without.UnavailableReason(), u("没有桌面会话总线（D-Bus），无法把密码保存到系统钥匙环。"));
}

TEST(DesktopNotificationsTest, SendsSummaryBodyAndTheProgramsIconToTheNotificationServer) {
    TestSessionBus bus(false);
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startNotificationServer());
    bus.useInThisProcess();
    DesktopNotifications notifications;
    notifications.Show({u("上传完成：12 个文件"), u("Quellix 演示网盘")});
    ASSERT_TRUE(WaitFor([&] { return bus.notifications().size() == 1; }, 10000));
    const QJsonObject call = bus.notifications().first();
    EXPECT_EQ(call.value(QStringLiteral("app_name")).toString(), QStringLiteral("Quellix"));
    EXPECT_EQ(call.value(QStringLiteral("app_icon")).toString(), QStringLiteral("quellix"));
    EXPECT_EQ(call.value(QStringLiteral("summary")).toString(), u("上传完成：12 个文件"));
    EXPECT_EQ(call.value(QStringLiteral("body")).toString(), u("Quellix 演示网盘"));
    EXPECT_EQ(call.value(QStringLiteral("desktop_entry")).toString(), QStringLiteral("quellix"));
    EXPECT_EQ(call.value(QStringLiteral("replaces_id")).toInt(), 0);
    EXPECT_EQ(call.value(QStringLiteral("expire_timeout")).toInt(), -1);
}

// quellix-tool site with the keyring: --remember stores the login, later
// commands take it when no password is given, a refused saved login is
// removed, and logout forgets it.
TEST(SiteToolKeyringTest, RememberUseRefuseAndLogout) {
    TestSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startKeyring());
    DemoSite site;
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    const DemoAccount account = site.account(u("张三"));
    const QStringList where = {QStringLiteral("--site"), QString::fromUtf8(site.siteUrl()), QStringLiteral("--user"),
                               account.name};
    SiteToolRun typed;
    typed.password = account.password.toUtf8();
    typed.environment = bus.environment();
    SiteToolRun saved = typed;
    saved.noPassword = true;
    const auto logins = [&] {
        QList<QByteArray> bodies;
        for (const LoggedRequest& r : site.requests())
            if (r.body.startsWith("action=login&"))
                bodies << r.body;
        return bodies;
    };
    const QByteArray body =
        "action=login&username=" + ToGbk(account.name) + "&password=" + PasswordDigest(account.password.toUtf8());

    // Without a saved login and without a terminal there is no password.
    EXPECT_EQ(RunSiteTool(QStringList{QStringLiteral("ls")} + where, saved).exitCode, 2);

    const ProcessResult remember = RunSiteTool(QStringList{QStringLiteral("login"), QStringLiteral("--remember")} + where, typed);
    EXPECT_EQ(remember.exitCode, 0) << remember.err.constData();
    const QString key = SiteAccountKey(site.siteUrl(), ToGbk(account.name));
    EXPECT_TRUE(searchQuellix(bus).contains(("attribute.user = " + key).toUtf8()));

    const ProcessResult listed = RunSiteTool(QStringList{QStringLiteral("ls")} + where, saved);
    EXPECT_EQ(listed.exitCode, 0) << listed.err.constData();
    EXPECT_EQ(logins(), (QList<QByteArray>{body, body}));

    // The saved login no longer fits (the password was changed on the site).
    const ProcessResult replaced = bus.secretTool(
        {QStringLiteral("store"), QStringLiteral("--label=Quellix"), QStringLiteral("server"), QStringLiteral("Quellix"),
         QStringLiteral("user"), key, QStringLiteral("type"), QStringLiteral("base64")},
        QByteArray("00000000000000000000000000000000").toBase64());
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err.constData();
    const ProcessResult refused = RunSiteTool(QStringList{QStringLiteral("ls")} + where, saved);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.endsWith("(the saved password was removed from the keyring)\n")) << refused.err.constData();
    EXPECT_EQ(logins().last(), "action=login&username=" + ToGbk(account.name) + "&password=00000000000000000000000000000000");
    EXPECT_FALSE(searchQuellix(bus).contains("attribute.user"));

    EXPECT_EQ(RunSiteTool(QStringList{QStringLiteral("login"), QStringLiteral("--remember")} + where, typed).exitCode, 0);
    const ProcessResult logout = RunSiteTool(QStringList{QStringLiteral("logout")} + where, saved);
    EXPECT_EQ(logout.exitCode, 0) << logout.err.constData();
    EXPECT_EQ(logout.out, "forgot the saved password of " + account.name.toUtf8() + " at " + site.siteUrl() + "\n");
    EXPECT_FALSE(searchQuellix(bus).contains("attribute.user"));
}

}  // namespace

// The saved login as a user meets it: the real client on an Xvfb display of
// its own, typed into with xdotool, on a session bus whose GNOME Keyring
// was unlocked with a known password, against the demo site. "记住密码" and
// "自动登录" ticked with the keyboard keep the login in the keyring
// (secret-tool finds it); the client started again logs in by itself.

#include "support/demosite.h"
#include "support/sessionbus.h"
#include "support/testutil.h"
#include "support/xscreen.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QList<QByteArray> loginBodies(const DemoSite& site) {
    QList<QByteArray> bodies;
    for (const LoggedRequest& r : site.requests())
        if (r.body.startsWith("action=login&"))
            bodies << r.body;
    return bodies;
}

TEST(SavedLoginScreenTest, RememberedWithTheKeyboardAndLoggedInByItselfAtTheNextStart) {
    XScreen x;
    ASSERT_TRUE(x.isRunning()) << x.errorText().toStdString();
    TestSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startKeyring());
    DemoSite site;
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();

    // The client alone in a folder of its own (portable: quellix.cfg and
    // quellix.ini beside it).
    QTemporaryDir dir(QFileInfo(ProgramDir()).absolutePath() + QStringLiteral("/desktop-screen-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("quellix"));
    ASSERT_TRUE(::link(qPrintable(ProgramDir() + QStringLiteral("/quellix")), qPrintable(program)) == 0 ||
                QFile::copy(ProgramDir() + QStringLiteral("/quellix"), program));
    ASSERT_TRUE(site.writeSiteConfig(dir.path()));
    const QProcessEnvironment env = bus.environment(x.environment());

    QProcess* client = x.start(program, {}, env, dir.path());
    const QRect login = x.waitForWindow(QStringLiteral("^网盘用户登录$"), 30000);
    ASSERT_FALSE(login.isEmpty()) << "the login window never appeared";
    // Without a window manager the keyboard follows the pointer.
    const auto at = [&](int wx, int wy) {
        x.xdotool({QStringLiteral("mousemove"), QString::number(login.x() + wx), QString::number(login.y() + wy)});
        QThread::msleep(100);
    };
    at(200, 91);
    x.xdotool({QStringLiteral("click"), QStringLiteral("1")});
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("demo")});
    // Tab: the password, "记住密码" (space ticks it), "自动登录", the button.
    for (const char* key : {"Tab"})
        x.xdotool({QStringLiteral("key"), QLatin1String(key)});
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("demo123")});
    for (const char* key : {"Tab", "space", "Tab", "space", "Tab", "space"}) {
        x.xdotool({QStringLiteral("key"), QLatin1String(key)});
        QThread::msleep(100);
    }
    const QString mainWindow = QStringLiteral("文件上传下载客户端$");
    ASSERT_FALSE(x.waitForWindow(mainWindow, 30000).isEmpty()) << "no main window after the login";

    const QString key = QStringLiteral("demo@") + QString::fromUtf8(site.siteUrl());
    const ProcessResult found = bus.secretTool(
        {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Quellix"), QStringLiteral("user"), key});
    EXPECT_EQ(found.exitCode, 0) << found.err.constData();
    const QByteArray digest = "62cc2d8b4bf2d8728120d052163a77df";  // MD5 of "demo123"
    EXPECT_EQ(QByteArray::fromBase64(found.out.trimmed()), digest) << found.out.constData();
    const QByteArray ini = ReadFileBytes(dir.filePath(QStringLiteral("quellix.ini")));
    EXPECT_TRUE(ini.contains("rememberPassword=true")) << ini.constData();
    EXPECT_TRUE(ini.contains("autoLogin=true")) << ini.constData();
    EXPECT_TRUE(ini.contains("account=demo")) << ini.constData();
    EXPECT_FALSE(ini.contains(digest));

    client->terminate();
    ASSERT_TRUE(client->waitForFinished(20000));
    ASSERT_TRUE(x.windowRect(mainWindow).isEmpty());

    // Started again: no key pressed, and the main window comes.
    x.start(program, {}, env, dir.path());
    ASSERT_FALSE(x.waitForWindow(mainWindow, 30000).isEmpty()) << "the saved login did not log in by itself";
    const QByteArray body = "action=login&username=demo&password=" + digest;
    EXPECT_EQ(loginBodies(site), (QList<QByteArray>{body, body}));
}

// The tray of a desktop that has one (a StatusNotifierWatcher with a host on
// the session bus): the client's icon names the site and the status in its
// tooltip, a click on it hides and shows the main window, and "退出" in its
// menu ends the program.
TEST(TrayScreenTest, TheTrayIconShowsTheStatusHidesAndShowsTheWindowAndQuits) {
    XScreen x;
    ASSERT_TRUE(x.isRunning()) << x.errorText().toStdString();
    TestSessionBus bus(false);
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    ASSERT_TRUE(bus.startTray());
    DemoSite site;
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    QTemporaryDir dir(QFileInfo(ProgramDir()).absolutePath() + QStringLiteral("/desktop-tray-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("quellix"));
    ASSERT_TRUE(::link(qPrintable(ProgramDir() + QStringLiteral("/quellix")), qPrintable(program)) == 0 ||
                QFile::copy(ProgramDir() + QStringLiteral("/quellix"), program));
    ASSERT_TRUE(site.writeSiteConfig(dir.path()));
    // Notifications stay off the (absent) notification service.
    WriteFileBytes(dir.filePath(QStringLiteral("quellix.ini")), "[desktop]\nnotifications=false\n");

    QProcess* client = x.start(program, {}, bus.environment(x.environment()), dir.path());
    const QRect login = x.waitForWindow(QStringLiteral("^网盘用户登录$"), 30000);
    ASSERT_FALSE(login.isEmpty()) << "the login window never appeared";
    ASSERT_TRUE(WaitFor([&] { return bus.trayItems().size() == 1; }, 20000)) << "no tray item registered";
    const QString item = bus.trayItems().first();

    x.xdotool({QStringLiteral("mousemove"), QString::number(login.x() + 200), QString::number(login.y() + 91)});
    x.xdotool({QStringLiteral("click"), QStringLiteral("1")});
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("demo")});
    x.xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
    x.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("demo123")});
    x.xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    const QString mainWindow = QStringLiteral("文件上传下载客户端$");
    ASSERT_FALSE(x.waitForWindow(mainWindow, 30000).isEmpty()) << "no main window after the login";

    // The tooltip follows within its second of refresh.
    const QString expected = QStringLiteral("Quellix - ") + site.siteName();
    QString tooltip;
    EXPECT_TRUE(WaitFor(
        [&] {
            tooltip = QString::fromUtf8(bus.tray({QStringLiteral("tooltip"), item}).out);
            return tooltip.contains(expected);
        },
        10000))
        << tooltip.toStdString();

    ASSERT_EQ(bus.tray({QStringLiteral("activate"), item}).exitCode, 0);
    EXPECT_TRUE(WaitFor([&] { return x.windowRect(mainWindow).isEmpty(); }, 10000)) << "the window stayed";
    ASSERT_EQ(bus.tray({QStringLiteral("activate"), item}).exitCode, 0);
    EXPECT_FALSE(x.waitForWindow(mainWindow, 10000).isEmpty()) << "the window did not come back";

    const ProcessResult quit = bus.tray({QStringLiteral("click"), item, QString::fromUtf8("退出")});
    EXPECT_EQ(quit.exitCode, 0) << quit.err.constData();
    EXPECT_TRUE(client->waitForFinished(20000));
    EXPECT_EQ(client->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client->exitCode(), 0);
}

}  // namespace

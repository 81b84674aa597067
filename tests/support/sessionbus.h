#pragma once
// A D-Bus session bus of the test's own (dbus-daemon, as dbus-run-session
// starts it), and the desktop services a test puts on it: GNOME Keyring's
// Secret Service unlocked with a known password, and a notification server
// that records every Notify call (notifyserver.py under Debian's Python
// with python3-dbus). Everything it starts ends with the test.

#include "support/testutil.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

class TestSessionBus {
public:
    // `systemServices`: the bus may start the system's activatable services
    // (the Secret Service among them), as a desktop's bus does; without,
    // nothing answers on it but what the test starts.
    explicit TestSessionBus(bool systemServices = true, int timeoutMs = 20000);
    ~TestSessionBus();
    TestSessionBus(const TestSessionBus&) = delete;
    TestSessionBus& operator=(const TestSessionBus&) = delete;

    bool isRunning() const { return !address_.isEmpty(); }
    QString errorText() const { return error_; }
    QString address() const { return address_; }

    // `base` with this bus as the session bus, and a home and run-time
    // folder of this bus's own (the keyring keeps its files there).
    QProcessEnvironment environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // Makes this bus the session bus of this process (and its home and
    // run-time folder its own), before anything in it connects to one: Qt
    // and GLib keep the first session bus a process connects to.
    void useInThisProcess() const;

    // gnome-keyring-daemon --unlock --components=secrets, the login keyring
    // unlocked with `password`; true once the Secret Service answers.
    bool startKeyring(const QByteArray& password = "keyring-test-password");

    // secret-tool with `arguments` on this bus.
    ProcessResult secretTool(const QStringList& arguments, const QByteArray& input = QByteArray());

    // The notification server; true once it owns its name.
    bool startNotificationServer();
    // The Notify calls received so far: app_name, replaces_id, app_icon,
    // summary, body, actions, hints (names), expire_timeout.
    QList<QJsonObject> notifications() const;

    // A desktop tray (sniwatcher.py): the StatusNotifierWatcher with a
    // host; true once it owns its name. trayItems() are the items that
    // registered, by their bus names; tray() runs the host's side of one
    // ("tooltip SERVICE", "activate SERVICE", "click SERVICE LABEL").
    bool startTray();
    QStringList trayItems() const;
    ProcessResult tray(const QStringList& arguments);

    // Whether `name` is on the bus now.
    bool hasName(const QString& name);

private:
    QProcess* start(const QString& program, const QStringList& arguments);

    QTemporaryDir dir_;
    QString address_;
    QString error_;
    std::unique_ptr<QProcess> daemon_;
    std::vector<std::unique_ptr<QProcess>> services_;
    QString notificationLog_;
    QString trayLog_;
};

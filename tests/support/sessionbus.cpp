#include "support/sessionbus.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace {

QByteArray busConfig(const QString& socketDir, bool systemServices) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir=" +
           socketDir.toUtf8() + "</listen>\n" +
           (systemServices ? QByteArray("  <standard_session_servicedirs />\n") : QByteArray()) +
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

bool readLine(QProcess& process, QByteArray& line, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    line = process.readLine().trimmed();
    return true;
}

}  // namespace

TestSessionBus::TestSessionBus(bool systemServices, int timeoutMs) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    for (const char* sub : {"home", "run", "socket"})
        QDir().mkpath(dir_.filePath(QLatin1String(sub)));
    QFile::setPermissions(dir_.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString config = dir_.filePath(QStringLiteral("session.conf"));
    WriteFileBytes(config, busConfig(dir_.filePath(QStringLiteral("socket")), systemServices));
    daemon_ = std::make_unique<QProcess>();
    EndWithThisProcess(*daemon_, SIGTERM);
    daemon_->setProcessEnvironment(environment());
    daemon_->start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config,
                                                   QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
    QByteArray line;
    if (!daemon_->waitForStarted(timeoutMs) || !readLine(*daemon_, line, timeoutMs) || line.isEmpty()) {
        error_ = QStringLiteral("dbus-daemon did not start: ") + QString::fromUtf8(daemon_->readAllStandardError());
        return;
    }
    address_ = QString::fromUtf8(line);
}

TestSessionBus::~TestSessionBus() {
    for (auto& process : services_) {
        process->terminate();
        if (!process->waitForFinished(5000))
            process->kill();
        process->waitForFinished(5000);
    }
    if (daemon_) {
        daemon_->terminate();
        if (!daemon_->waitForFinished(5000))
            daemon_->kill();
        daemon_->waitForFinished(5000);
    }
}

QProcessEnvironment TestSessionBus::environment(QProcessEnvironment base) const {
    if (!address_.isEmpty())
        base.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    else
        base.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    base.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
    base.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("run")));
    base.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("home/.local/share")));
    base.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("home/.config")));
    return base;
}

void TestSessionBus::useInThisProcess() const {
    const QProcessEnvironment env = environment();
    for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "HOME", "XDG_RUNTIME_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        qputenv(name, env.value(QLatin1String(name)).toUtf8());
}

QProcess* TestSessionBus::start(const QString& program, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    EndWithThisProcess(*process, SIGTERM);
    process->setProcessEnvironment(environment());
    process->start(program, arguments);
    if (!process->waitForStarted(10000))
        return nullptr;
    services_.push_back(std::move(process));
    return services_.back().get();
}

bool TestSessionBus::hasName(const QString& name) {
    const ProcessResult owner =
        RunProcess(QStringLiteral("dbus-send"),
                   {QStringLiteral("--bus=") + address_, QStringLiteral("--print-reply"),
                    QStringLiteral("--dest=org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                    QStringLiteral("org.freedesktop.DBus.NameHasOwner"), QStringLiteral("string:") + name},
                   10000);
    return owner.exitCode == 0 && owner.out.contains("boolean true");
}

bool TestSessionBus::startKeyring(const QByteArray& password) {
    if (!isRunning())
        return false;
    // In the foreground, so that it ends with the test; the password comes
    // on standard input.
    QProcess* keyring = start(QStringLiteral("gnome-keyring-daemon"),
                              {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
                               QStringLiteral("--foreground")});
    if (!keyring)
        return false;
    keyring->write(password);
    keyring->closeWriteChannel();
    return WaitFor([&] { return hasName(QStringLiteral("org.freedesktop.secrets")); }, 20000);
}

ProcessResult TestSessionBus::secretTool(const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    EndWithThisProcess(process);
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("secret-tool"), arguments);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(20000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool TestSessionBus::startNotificationServer() {
    if (!isRunning())
        return false;
    notificationLog_ = dir_.filePath(QStringLiteral("notifications.jsonl"));
    QProcess* server = start(QStringLiteral("/usr/bin/python3"),
                             {SourceDir() + QStringLiteral("/tests/support/notifyserver.py"), notificationLog_});
    QByteArray line;
    return server && readLine(*server, line, 20000) && line == "ready";
}

QList<QJsonObject> TestSessionBus::notifications() const {
    QList<QJsonObject> calls;
    for (const QByteArray& line : ReadFileBytes(notificationLog_).split('\n'))
        if (!line.trimmed().isEmpty())
            calls.append(QJsonDocument::fromJson(line).object());
    return calls;
}

bool TestSessionBus::startTray() {
    if (!isRunning())
        return false;
    trayLog_ = dir_.filePath(QStringLiteral("tray.log"));
    QProcess* watcher = start(QStringLiteral("/usr/bin/python3"),
                              {SourceDir() + QStringLiteral("/tests/support/sniwatcher.py"), QStringLiteral("serve"),
                               trayLog_});
    QByteArray line;
    return watcher && readLine(*watcher, line, 20000) && line == "ready";
}

QStringList TestSessionBus::trayItems() const {
    QStringList items;
    for (const QByteArray& line : ReadFileBytes(trayLog_).split('\n'))
        if (!line.trimmed().isEmpty())
            items << QString::fromUtf8(line.trimmed());
    return items;
}

ProcessResult TestSessionBus::tray(const QStringList& arguments) {
    QProcess process;
    EndWithThisProcess(process);
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{SourceDir() + QStringLiteral("/tests/support/sniwatcher.py")} + arguments);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.closeWriteChannel();
    result.finished = process.waitForFinished(20000);
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

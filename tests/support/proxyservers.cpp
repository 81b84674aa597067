#include "support/proxyservers.h"

#include "support/scriptedserver.h"
#include "support/testutil.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

}  // namespace

ProxyServer::~ProxyServer() { stop(); }

QByteArray ProxyServer::log() const { return ReadFileBytes(logFile_); }

void ProxyServer::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

// Starts the proxy and waits until it is shown to listen on port_: its
// process still runs, it has logged that it runs, and the port takes a
// connection (a port another test took meanwhile makes the proxy end).
void ProxyServer::mapHost(const QByteArray& name, const QByteArray& address) { hosts_ += address + " " + name + "\n"; }

void ProxyServer::wrapNames(QStringList& environment, const QStringList& userFiles) {
    if (hosts_.isEmpty() && userFiles.isEmpty())
        return;
    environment << QStringLiteral("LD_PRELOAD=/usr/lib/x86_64-linux-gnu/libnss_wrapper.so") << userFiles;
    if (!hosts_.isEmpty()) {
        // Dante resolves names in helpers that run as "nobody".
        QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ExeOther | QFile::ExeGroup);
        const QString hosts = dir_.filePath(QStringLiteral("hosts"));
        writeFile(hosts, hosts_);
        QFile::setPermissions(hosts, QFile::permissions(hosts) | QFile::ReadOther | QFile::ReadGroup);
        environment << QStringLiteral("NSS_WRAPPER_HOSTS=") + hosts;
    }
}

bool ProxyServer::run(const QString& program, const QStringList& arguments, QStringList environment) {
    QStringList env = QProcess::systemEnvironment();
    env += environment;
    process_.setEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // SIGTERM: the proxy's main process then ends its helpers too.
    EndWithThisProcess(process_, SIGTERM);
    process_.start(program, arguments);
    if (!process_.waitForStarted(10000)) {
        error_ = program + QStringLiteral(" did not start: ") + process_.errorString();
        return false;
    }
    const bool listening = QTest::qWaitFor(
        [&] {
            if (process_.state() != QProcess::Running)
                return true;
            const QByteArray logged = log();
            if (!logged.contains("running") && !logged.contains("Accepting connections"))
                return false;
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port_);
            return probe.waitForConnected(200);
        },
        10000);
    if (listening && process_.state() == QProcess::Running)
        return true;
    error_ = program + QStringLiteral(" did not listen: ") + QString::fromUtf8(process_.readAll()) +
             QString::fromUtf8(log());
    stop();
    return false;
}

bool DanteProxy::start(const QByteArray& user, const QByteArray& password) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    QStringList userFiles;
    if (!user.isEmpty()) {
        const ProcessResult hash = RunProcess(QStringLiteral("openssl"),
                                              {QStringLiteral("passwd"), QStringLiteral("-6"), QString::fromUtf8(password)});
        if (hash.exitCode != 0) {
            error_ = QStringLiteral("openssl passwd failed: ") + QString::fromUtf8(hash.err);
            return false;
        }
        const QString passwd = dir_.filePath(QStringLiteral("passwd"));
        const QString group = dir_.filePath(QStringLiteral("group"));
        const QString shadow = dir_.filePath(QStringLiteral("shadow"));
        writeFile(passwd, "root:x:0:0:root:/root:/bin/sh\n"
                          "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n" +
                              user + ":x:4242:4242::/nonexistent:/usr/sbin/nologin\n");
        writeFile(group, "root:x:0:\nnogroup:x:65534:\n" + user + ":x:4242:\n");
        writeFile(shadow, user + ":" + hash.out.trimmed() + ":19000:0:99999:7:::\n");
        userFiles << QStringLiteral("NSS_WRAPPER_PASSWD=") + passwd << QStringLiteral("NSS_WRAPPER_GROUP=") + group
                  << QStringLiteral("NSS_WRAPPER_SHADOW=") + shadow;
    }
    QStringList environment;
    wrapNames(environment, userFiles);
    logFile_ = dir_.filePath(QStringLiteral("danted.log"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = UnusedPort();
        QFile::remove(logFile_);
        const QByteArray config =
            "logoutput: " + logFile_.toUtf8() + "\n"
            "internal: 127.0.0.1 port = " + QByteArray::number(port_) + "\n"
            "external: " + QByteArray(kProxyExitAddress) + "\n"
            "clientmethod: none\n"
            "socksmethod: " + QByteArray(user.isEmpty() ? "none" : "username") + "\n"
            "user.privileged: root\n"
            "user.unprivileged: nobody\n"
            "client pass {\n"
            "  from: 127.0.0.1/32 to: 0.0.0.0/0\n"
            "  log: connect disconnect error\n"
            "}\n"
            "socks pass {\n"
            "  from: 127.0.0.1/32 to: 0.0.0.0/0\n"
            "  command: connect\n"
            "  log: connect disconnect error\n"
            "}\n";
        const QString configFile = dir_.filePath(QStringLiteral("danted.conf"));
        if (!writeFile(configFile, config)) {
            error_ = QStringLiteral("can't write danted.conf");
            return false;
        }
        if (run(QStringLiteral("/usr/sbin/danted"),
                {QStringLiteral("-f"), configFile, QStringLiteral("-p"), dir_.filePath(QStringLiteral("danted.pid")),
                 QStringLiteral("-N"), QStringLiteral("1")},
                environment))
            return true;
    }
    return false;
}

QByteArray DanteProxy::url(const QByteArray& scheme) const {
    return (scheme.isEmpty() ? QByteArray("socks5h") : scheme) + "://127.0.0.1:" + QByteArray::number(port_);
}

bool TinyProxy::start(const QByteArray& user, const QByteArray& password) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    logFile_ = dir_.filePath(QStringLiteral("tinyproxy.log"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = UnusedPort();
        QFile::remove(logFile_);
        // No ConnectPort line: CONNECT may go to any port (FTP, its data
        // ports, the test's web servers).
        QByteArray config = "Port " + QByteArray::number(port_) + "\n"
                            "Listen 127.0.0.1\n"
                            "Bind " + QByteArray(kProxyExitAddress) + "\n"
                            "Timeout 60\n"
                            "LogFile \"" + logFile_.toUtf8() + "\"\n"
                            "LogLevel Info\n"
                            "PidFile \"" + dir_.filePath(QStringLiteral("tinyproxy.pid")).toUtf8() + "\"\n"
                            "MaxClients 100\n"
                            "Allow 127.0.0.1\n";
        if (!user.isEmpty())
            config += "BasicAuth " + user + " " + password + "\n";
        const QString configFile = dir_.filePath(QStringLiteral("tinyproxy.conf"));
        if (!writeFile(configFile, config)) {
            error_ = QStringLiteral("can't write tinyproxy.conf");
            return false;
        }
        QStringList environment;
        wrapNames(environment);
        if (run(QStringLiteral("/usr/bin/tinyproxy"), {QStringLiteral("-d"), QStringLiteral("-c"), configFile},
                environment))
            return true;
    }
    return false;
}

QByteArray TinyProxy::url(const QByteArray&) const { return "http://127.0.0.1:" + QByteArray::number(port_); }

#include "support/nginxserver.h"

#include "support/scriptedserver.h"
#include "support/testutil.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

bool MakeSelfSignedCertificate(const QString& certFile, const QString& keyFile, QString& error,
                               const QString& subjectAltName) {
    const ProcessResult r = RunProcess(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
         QStringLiteral("-nodes"), QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile,
         QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
         QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + subjectAltName},
        30000);
    if (r.exitCode != 0) {
        error = QStringLiteral("openssl failed: ") + QString::fromUtf8(r.err);
        return false;
    }
    return true;
}

NginxServer::~NginxServer() { stop(); }

QByteArray NginxServer::baseUrl() const {
    return (tls_ ? QByteArray("https://localhost:") : QByteArray("http://127.0.0.1:")) + QByteArray::number(port_);
}

bool NginxServer::start(const QString& root, bool tls, const QByteArray& locations) {
    tls_ = tls;
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    if (tls && !MakeSelfSignedCertificate(certificateFile(), dir_.filePath(QStringLiteral("key.pem")), error_))
        return false;

    // Another program may take the free port between the probe and nginx's
    // bind: try a few ports.
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = UnusedPort();
        QByteArray listen = "listen 127.0.0.1:" + QByteArray::number(port_);
        QByteArray tlsLines;
        if (tls) {
            listen += " ssl";
            tlsLines = "ssl_certificate " + certificateFile().toUtf8() + ";\n" + "ssl_certificate_key " +
                       dir_.filePath(QStringLiteral("key.pem")).toUtf8() + ";\n";
        }
        const QByteArray prefix = dir_.path().toUtf8();
        const QByteArray config =
            "worker_processes 1;\n"
            "user root;\n"
            "error_log " + prefix + "/error.log;\n"
            "pid " + prefix + "/nginx.pid;\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "  log_format quellix '$connection $request';\n"
            "  access_log " + prefix + "/access.log quellix;\n"
            "  default_type application/octet-stream;\n"
            "  client_body_temp_path " + prefix + "/body;\n"
            "  proxy_temp_path " + prefix + "/proxy;\n"
            "  fastcgi_temp_path " + prefix + "/fastcgi;\n"
            "  uwsgi_temp_path " + prefix + "/uwsgi;\n"
            "  scgi_temp_path " + prefix + "/scgi;\n"
            "  sendfile on;\n"
            "  server {\n"
            "    " + listen + ";\n"
            "    server_name localhost;\n"
            "    root " + root.toUtf8() + ";\n" +
            tlsLines + locations +
            "  }\n"
            "}\n";
        QFile file(dir_.filePath(QStringLiteral("nginx.conf")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = QStringLiteral("can't write nginx.conf");
            return false;
        }
        file.write(config);
        file.close();

        process_.setProcessChannelMode(QProcess::MergedChannels);
        // SIGTERM: the master process then stops its workers too.
        EndWithThisProcess(process_, SIGTERM);
        process_.start(QStringLiteral("/usr/sbin/nginx"),
                       {QStringLiteral("-p"), dir_.path(), QStringLiteral("-c"), file.fileName(),
                        QStringLiteral("-g"), QStringLiteral("daemon off;")});
        if (!process_.waitForStarted(10000)) {
            error_ = QStringLiteral("nginx did not start: ") + process_.errorString();
            return false;
        }
        // A connection alone proves nothing: another test's server may hold
        // the port, and nginx then keeps trying to bind it for a while before
        // it gives up. nginx writes its pid file only once it holds all its
        // ports, so its own pid there tells that this nginx listens.
        const QString pidFile = dir_.filePath(QStringLiteral("nginx.pid"));
        const QByteArray pid = QByteArray::number(process_.processId());
        const bool listening = QTest::qWaitFor(
            [&] {
                if (process_.state() != QProcess::Running)
                    return true;
                if (ReadFileBytes(pidFile).trimmed() != pid)
                    return false;
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, port_);
                return probe.waitForConnected(200);
            },
            10000);
        if (listening && process_.state() == QProcess::Running)
            return true;
        error_ = QStringLiteral("nginx did not listen: ") + QString::fromUtf8(process_.readAll()) +
                 QString::fromUtf8(ReadFileBytes(dir_.filePath(QStringLiteral("error.log"))));
        stop();
    }
    return false;
}

QByteArray NginxServer::accessLog() const { return ReadFileBytes(dir_.filePath(QStringLiteral("access.log"))); }

void NginxServer::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

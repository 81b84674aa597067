#include "support/pyftpserver.h"

#include "support/testutil.h"

#include <QDeadlineTimer>

PyFtpServer::PyFtpServer(const QByteArray& user, const QByteArray& password, const QStringList& options) {
    process_.setProgram(QStringLiteral("/usr/bin/python3"));
    process_.setArguments(
        QStringList{SourceDir() + QStringLiteral("/tests/support/pyftpserver.py"), QStringLiteral("--home"),
                    home_.path(), QStringLiteral("--user"), QString::fromUtf8(user), QStringLiteral("--password"),
                    QString::fromUtf8(password), QStringLiteral("--command-log"),
                    logDir_.filePath(QStringLiteral("commands.log"))} +
        options);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    EndWithThisProcess(process_);
    process_.start();
    if (!process_.waitForStarted(10000)) {
        error_ = "cannot start /usr/bin/python3: " + process_.errorString().toUtf8();
        return;
    }
    QByteArray out;
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        if (!out.contains('\n'))
            process_.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1)));
        out += process_.readAllStandardOutput();
        const qsizetype end = out.indexOf('\n');
        if (end >= 0 && out.startsWith("PORT ")) {
            port_ = quint16(out.mid(5, end - 5).trimmed().toUInt());
            break;
        }
    }
    if (port_ == 0)
        error_ = "the FTP server did not report its port: " + out;
}

QList<QByteArray> PyFtpServer::commands() const {
    QList<QByteArray> lines = ReadFileBytes(logDir_.filePath(QStringLiteral("commands.log"))).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

PyFtpServer::~PyFtpServer() {
    if (process_.state() == QProcess::NotRunning)
        return;
    // Closing its input stops the server; SIGTERM and SIGKILL are the
    // fallbacks, each with a bound.
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

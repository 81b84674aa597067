#include "support/sitetool.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

ProcessResult RunSiteTool(const QStringList& args, const SiteToolRun& how) {
    QProcess process;
    EndWithThisProcess(process);
    QProcessEnvironment environment =
        how.environment.isEmpty() ? QProcessEnvironment::systemEnvironment() : how.environment;
    environment.remove(QStringLiteral("QUELLIX_PASSWORD"));
    if (!how.noPassword)
        environment.insert(QStringLiteral("QUELLIX_PASSWORD"), QString::fromUtf8(how.password));
    process.setProcessEnvironment(environment);
    if (!how.workDir.isEmpty())
        process.setWorkingDirectory(how.workDir);
    const QString program = how.program.isEmpty() ? ProgramDir() + QStringLiteral("/quellix-tool") : how.program;
    process.start(program, QStringList{QStringLiteral("site")} + args);
    ProcessResult result;
    if (!process.waitForStarted(how.timeoutMs))
        return result;
    process.closeWriteChannel();
    // The event loop runs meanwhile: a scripted server of the test may be
    // the site.
    result.finished = WaitFor([&] { return process.state() == QProcess::NotRunning; }, how.timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray WithoutToken(const QByteArray& bytes) {
    if (bytes.startsWith("action=login&"))
        return bytes;
    QString text = QString::fromLatin1(bytes);
    text.replace(QRegularExpression(QStringLiteral("password=[0-9a-f]{32}")), QStringLiteral("password=TOKEN"));
    return text.toLatin1();
}

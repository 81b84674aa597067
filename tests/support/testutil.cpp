#include "support/testutil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

QString ProgramDir() { return QStringLiteral(QUELLIX_PROGRAM_DIR); }

QString SourceDir() { return QStringLiteral(QUELLIX_SOURCE_DIR); }

void EndWithThisProcess(QProcess& process, int deathSignal, ChildGroup group) {
    const pid_t parent = getpid();
    // One modifier does everything: a second would replace the first.
    process.setChildProcessModifier([parent, deathSignal, group] {
        // In the child, between fork and exec: system calls only.
        if (group == ChildGroup::OwnGroup)
            setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, deathSignal);
        if (getppid() != parent)
            _exit(127);  // the parent ended before the line above took effect
    });
}

ProcessResult RunProcess(const QString& program, const QStringList& arguments, int timeoutMs,
                         const QByteArray& input) {
    QProcess process;
    EndWithThisProcess(process);
    process.start(program, arguments);
    ProcessResult result;
    if (!process.waitForStarted(timeoutMs))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void PrintTo(const QByteArray& bytes, std::ostream* os) {
    *os << '"';
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 32 && b < 127 && c != '"' && c != '\\')
            *os << c;
        else {
            static const char digits[] = "0123456789abcdef";
            *os << "\\x" << digits[b >> 4] << digits[b & 15];
        }
    }
    *os << '"';
}

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

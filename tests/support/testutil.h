#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

// The folder where the build assembles the runnable program.
QString ProgramDir();
// The project's source tree.
QString SourceDir();

// Result of running a program to its end.
struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool finished = false;
};

// Makes a process that `process` starts end with this one, also when this
// one crashes or aborts: the kernel sends it `deathSignal` when the starting
// thread ends. Servers started by tests must never outlive them.
class QProcess;
// Where the child runs: in this process's group, or in a group of its own
// (a job a shell could stop and continue).
enum class ChildGroup { Inherited, OwnGroup };
void EndWithThisProcess(QProcess& process, int deathSignal = SIGKILL, ChildGroup group = ChildGroup::Inherited);

// Runs a program with arguments (and optional standard input) to its end,
// within `timeoutMs`.
ProcessResult RunProcess(const QString& program, const QStringList& arguments, int timeoutMs = 60000,
                         const QByteArray& input = QByteArray());

// Runs the event loop until `condition` holds or `timeoutMs` passes; true
// when the condition holds.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Whole content of a file; empty when it cannot be read.
QByteArray ReadFileBytes(const QString& path);
// Writes a file whole; fails the test when it cannot.
void WriteFileBytes(const QString& path, const QByteArray& bytes);

// Readable values in test failure messages.
#include <ostream>
void PrintTo(const QByteArray& bytes, std::ostream* os);
void PrintTo(const QString& text, std::ostream* os);

#pragma once
// The command table of quellix-tool. A command registers itself from its own
// source file with a static ToolCommand object.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>

// The arguments of one command run: the raw argument bytes as the terminal
// gave them, after the command's name.
struct ToolArgs {
    QList<QByteArray> raw;

    // Removes a flag (such as "--raw") wherever it stands; true when present.
    bool takeFlag(const char* flag);
    // Removes an option and its value ("-o FILE"); false when absent.
    // A missing value is an error reported by the caller through `missing`.
    bool takeOption(const char* option, QByteArray& value, bool& missing);
};

// Returns the process exit code.
using ToolCommandFunction = std::function<int(ToolArgs&)>;

struct ToolCommand {
    ToolCommand(const char* name, const char* usage, ToolCommandFunction run);
    // A command whose usage is put together when it is printed (one line or
    // several, without the "quellix-tool " in front of the first).
    ToolCommand(const char* name, std::function<QByteArray()> usage, ToolCommandFunction run);
};

// Terminal text (UTF-8) to the GBK bytes used inside, and back.
QByteArray TerminalToGbk(const QByteArray& terminalText);
QByteArray GbkToTerminal(const QByteArray& gbk);

// Writes bytes to a standard stream, as they are.
void WriteOut(const QByteArray& bytes);
void WriteErr(const QByteArray& bytes);

// Prints "usage: quellix-tool <usage of command>" and returns 2.
int UsageError(const char* commandName);

#include "command.h"

#include "text/gbk.h"

#include <QMap>

namespace {

struct Entry {
    std::function<QByteArray()> usage;
    ToolCommandFunction run;
};

QMap<QByteArray, Entry>& table() {
    static QMap<QByteArray, Entry> commands;
    return commands;
}

}  // namespace

ToolCommand::ToolCommand(const char* name, const char* usage, ToolCommandFunction run) {
    table().insert(name, Entry{[usage] { return QByteArray(usage); }, std::move(run)});
}

ToolCommand::ToolCommand(const char* name, std::function<QByteArray()> usage, ToolCommandFunction run) {
    table().insert(name, Entry{std::move(usage), std::move(run)});
}

bool ToolArgs::takeFlag(const char* flag) {
    return raw.removeAll(QByteArray(flag)) > 0;
}

bool ToolArgs::takeOption(const char* option, QByteArray& value, bool& missing) {
    const qsizetype at = raw.indexOf(QByteArray(option));
    if (at < 0)
        return false;
    if (at + 1 >= raw.size()) {
        missing = true;
        raw.removeAt(at);
        return false;
    }
    value = raw[at + 1];
    raw.remove(at, 2);
    return true;
}

QByteArray TerminalToGbk(const QByteArray& terminalText) { return ToGbk(QString::fromUtf8(terminalText)); }

QByteArray GbkToTerminal(const QByteArray& gbk) { return FromGbk(gbk).toUtf8(); }

void WriteOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void WriteErr(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int UsageError(const char* commandName) {
    auto found = table().constFind(commandName);
    if (found != table().constEnd())
        WriteErr(QByteArray("usage: quellix-tool ") + found->usage() + "\n");
    return 2;
}

// Entry point helpers used by main.cpp.
int RunToolCommand(const QByteArray& name, ToolArgs& args) {
    auto found = table().constFind(name);
    if (found == table().constEnd())
        return -1;
    return found->run(args);
}

void PrintToolUsage(bool toStdout) {
    QByteArray text = "usage:\n";
    for (auto it = table().constBegin(); it != table().constEnd(); ++it)
        text += QByteArray("  quellix-tool ") + it->usage() + "\n";
    text += "  quellix-tool help [COMMAND]\n";
    if (toStdout)
        WriteOut(text);
    else
        WriteErr(text);
}

bool PrintCommandUsage(const QByteArray& name) {
    auto found = table().constFind(name);
    if (found == table().constEnd())
        return false;
    WriteOut(QByteArray("usage: quellix-tool ") + found->usage() + "\n");
    return true;
}

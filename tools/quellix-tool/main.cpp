// quellix-tool: runs one command and exits with its code.

#include "command.h"
#include "text/errors.h"

#include <QCoreApplication>
#include <algorithm>

int RunToolCommand(const QByteArray& name, ToolArgs& args);
void PrintToolUsage(bool toStdout);
bool PrintCommandUsage(const QByteArray& name);

namespace {

bool isHelpOption(const QByteArray& arg) { return arg == "--help"; }

// "quellix-tool --help", "quellix-tool help [COMMAND]" and
// "quellix-tool COMMAND --help": the usage on standard output, exit 0 (an
// unknown command is a usage error).
int printHelp(const QByteArray& command) {
    if (command.isEmpty()) {
        PrintToolUsage(true);
        return 0;
    }
    if (PrintCommandUsage(command))
        return 0;
    WriteErr("quellix-tool: unknown command '" + command + "'\n");
    PrintToolUsage(false);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        PrintToolUsage(false);
        return 2;
    }
    const QByteArray command = argv[1];
    ToolArgs args;
    for (int i = 2; i < argc; ++i)
        args.raw.append(QByteArray(argv[i]));
    if (isHelpOption(command))
        return printHelp(QByteArray());
    if (command == "help")
        return printHelp(args.raw.value(0));
    if (std::any_of(args.raw.cbegin(), args.raw.cend(), isHelpOption))
        return printHelp(command);
    try {
        const int code = RunToolCommand(argv[1], args);
        if (code == -1) {
            WriteErr(QByteArray("quellix-tool: unknown command '") + argv[1] + "'\n");
            PrintToolUsage(false);
            return 2;
        }
        return code;
    } catch (const QxError& error) {
        WriteErr(GbkToTerminal(error.message()) + "\n");
        return 1;
    }
}

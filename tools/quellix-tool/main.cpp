// quellix-tool: runs one command and exits with its code.

#include "command.h"
#include "text/errors.h"

#include <QCoreApplication>

int RunToolCommand(const QByteArray& name, ToolArgs& args);
void PrintToolUsage();

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        PrintToolUsage();
        return 2;
    }
    ToolArgs args;
    for (int i = 2; i < argc; ++i)
        args.raw.append(QByteArray(argv[i]));
    try {
        const int code = RunToolCommand(argv[1], args);
        if (code == -1) {
            WriteErr(QByteArray("quellix-tool: unknown command '") + argv[1] + "'\n");
            PrintToolUsage();
            return 2;
        }
        return code;
    } catch (const QxError& error) {
        WriteErr(GbkToTerminal(error.message()) + "\n");
        return 1;
    }
}

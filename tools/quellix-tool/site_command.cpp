// The "site" command: takes the shared options and runs one site command.

#include "site_command.h"

#include "site_terminal.h"
#include "text/errors.h"

#include <QMap>

namespace {

struct SiteEntry {
    const char* usage;
    SiteCommandFunction run;
};

QMap<QByteArray, SiteEntry>& siteTable() {
    static QMap<QByteArray, SiteEntry> commands;
    return commands;
}

const char* const kSharedOptions =
    "[--site URL] [--user NAME] [--password-file FILE] [--proxy URL] [--proxy-password-file FILE] [--limit-rate RATE]";

QByteArray siteUsage() {
    QByteArray text;
    for (auto it = siteTable().constBegin(); it != siteTable().constEnd(); ++it) {
        if (!text.isEmpty())
            text += "\n  quellix-tool ";
        text += QByteArray("site ") + it->usage;
    }
    text += QByteArray("\n  Every site command also takes ") + kSharedOptions +
            ";\n  without --password-file the password comes from QUELLIX_PASSWORD, the keyring's saved login\n  (site login --remember) or a prompt without echo.";
    return text;
}

void takeSharedOption(ToolArgs& args, const char* option, QByteArray& value, bool& present) {
    bool missing = false;
    present = args.takeOption(option, value, missing);
    if (missing)
        throw SiteFailure(QByteArray(option) + " needs a value", SiteExit::Usage);
}

int runSite(ToolArgs& toolArgs) {
    SiteArgs args;
    args.raw = toolArgs.raw;
    // The shared options may stand before or after the command's name.
    try {
        SiteOptions& o = args.options;
        takeSharedOption(args, "--site", o.site, o.hasSite);
        takeSharedOption(args, "--user", o.user, o.hasUser);
        takeSharedOption(args, "--password-file", o.passwordFile, o.hasPasswordFile);
        QByteArray error;
        if (!TakeNetworkOptions(args, o.network, error))
            throw SiteFailure(error, SiteExit::Usage);
    } catch (const SiteFailure& failure) {
        WriteErr(QByteArray("quellix-tool site: ") + failure.what() + "\n");
        WriteErr("usage: quellix-tool " + siteUsage() + "\n");
        return SiteExit::Usage;
    }
    if (args.raw.isEmpty() || args.raw.first().startsWith('-')) {
        WriteErr("usage: quellix-tool " + siteUsage() + "\n");
        return SiteExit::Usage;
    }
    args.command = args.raw.takeFirst();
    const auto found = siteTable().constFind(args.command);
    if (found == siteTable().constEnd()) {
        WriteErr("quellix-tool site: unknown command '" + TerminalSafe(args.command) + "'\n");
        WriteErr("usage: quellix-tool " + siteUsage() + "\n");
        return SiteExit::Usage;
    }
    const QByteArray prefix = "quellix-tool site " + args.command + ": ";
    QByteArray error;
    const std::unique_ptr<NetConnector> connector = MakeConnector(args.options.network, "site", error);
    if (!connector) {
        WriteErr(prefix + error + "\n");
        return SiteExit::Usage;
    }
    args.options.connector = connector.get();
    try {
        CatchInterrupt();
        return found->run(args);
    } catch (const SiteFailure& failure) {
        WriteErr(prefix + TerminalSafe(failure.what()) + "\n");
        if (failure.exitCode() == SiteExit::Usage)
            WriteErr(QByteArray("usage: quellix-tool site ") + found->usage + " " + kSharedOptions + "\n");
        return failure.exitCode();
    } catch (const QxError& error) {
        WriteErr(prefix + TerminalSafe(GbkToTerminal(error.message())) + "\n");
        return SiteInterrupted() ? SiteExit::Interrupted : SiteExit::Failed;
    }
}

const ToolCommand siteCommand("site", siteUsage, runSite);

}  // namespace

SiteCommand::SiteCommand(const char* name, const char* usage, SiteCommandFunction run) {
    siteTable().insert(name, SiteEntry{usage, std::move(run)});
}

bool SiteArgs::takeArgument(QByteArray& value) {
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i].startsWith("--"))
            continue;
        value = raw.takeAt(i);
        return true;
    }
    return false;
}

void SiteArgs::expectNoMore() const {
    if (!raw.isEmpty())
        usageError("unexpected argument '" + raw.first() + "'");
}

void SiteArgs::usageError(const QByteArray& why) const {
    throw SiteFailure(why.isEmpty() ? QByteArray("wrong arguments") : why, SiteExit::Usage);
}

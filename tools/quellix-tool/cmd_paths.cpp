// paths: the folders and files the client uses beside this tool, in the mode
// the program folder gives (portable or installed), the quellix.cfg it reads
// and the site named there.

#include "command.h"
#include "config/localfiles.h"
#include "config/siteconfig.h"

#include <QFile>

namespace {

QByteArray line(const char* label, const QString& value) {
    return QByteArray(label).leftJustified(16, ' ') + value.toUtf8() + "\n";
}

int runPaths(ToolArgs& args) {
    if (!args.raw.isEmpty())
        return UsageError("paths");
    const LocalFiles files = LocalFiles::ofRunningProgram();
    QByteArray out = QByteArray("mode").leftJustified(16, ' ') + files.modeName() + "\n";
    out += line("program folder", files.programFolder());
    out += line("data folder", files.dataFolder());
    out += line("settings", files.settingsFile());
    out += line("options", files.optionsFile());
    out += line("skins", files.skinsFolder());
    out += line("downloads", files.downloadsFolder());
    out += line("debug marker", files.debugMarker());
    out += line("debug log", files.debugLog());
    out += line("config lookup", files.siteConfigCandidates().join(QStringLiteral(" ")));
    const QString config = files.siteConfigFile();
    const bool found = QFile::exists(config);
    out += line("quellix.cfg", found ? config : QStringLiteral("none"));
    // The folders are out before a broken quellix.cfg raises its error.
    WriteOut(out);
    if (found) {
        const std::optional<SiteConfig> site = ReadSiteConfig(files);
        WriteOut("site            " + GbkToTerminal(site->SiteUrl) + " " + GbkToTerminal(site->SiteName) + "\n");
    }
    return 0;
}

const ToolCommand pathsCommand("paths", "paths", runPaths);

}  // namespace

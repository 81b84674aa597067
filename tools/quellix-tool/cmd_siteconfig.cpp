// site-config: the one-line "quellix.cfg" that a site's operator ships.

#include "command.h"
#include "config/siteconfig.h"
#include "text/gbk.h"
#include "text/textfile.h"

namespace {

int runSiteConfig(ToolArgs& args) {
    QByteArray outputFile;
    bool missing = false;
    const bool toFile = args.takeOption("-o", outputFile, missing);
    if (missing || args.raw.size() < 2 || args.raw.size() > 3)
        return UsageError("site-config");
    const QByteArray vendor = args.raw.size() == 3 ? TerminalToGbk(args.raw[2]) : QByteArray();
    const QByteArray line = MakeSiteConfigLine(TerminalToGbk(args.raw[0]), TerminalToGbk(args.raw[1]), vendor);
    if (toFile)
        WriteTextLine(QString::fromUtf8(outputFile), line, true);
    else
        WriteOut(line + "\n");
    return 0;
}

const ToolCommand siteConfigCommand("site-config", "site-config URL NAME [VENDOR_HOME_URL] [-o FILE]",
                                    runSiteConfig);

}  // namespace

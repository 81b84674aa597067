// site links FILE_ID... [--kind url|ubb|post]: the links to files, as the
// link window builds them (each entry ended by CR LF). The page addresses
// need no request; the forum and publishing forms name the files, which are
// found in the listings.

#include "site_listing.h"
#include "site_terminal.h"

#include "disk/filelinks.h"
#include "text/gbk.h"

namespace {

int runLinks(SiteArgs& args) {
    QByteArray kindText = "url";
    bool missing = false;
    args.takeOption("--kind", kindText, missing);
    if (missing)
        args.usageError("--kind needs a value");
    LinkKind kind = LinkKind::Url;
    if (kindText == "ubb")
        kind = LinkKind::Ubb;
    else if (kindText == "post")
        kind = LinkKind::Post;
    else if (kindText != "url")
        args.usageError("--kind is url, ubb or post, not '" + kindText + "'");
    QList<QByteArray> ids;
    QByteArray id;
    while (args.takeArgument(id)) {
        if (!IsEntryId(id))
            args.usageError("FILE_ID must be a file id (decimal digits), not '" + id + "'");
        ids.append(id);
    }
    args.expectNoMore();
    if (ids.isEmpty())
        args.usageError("no FILE_ID");

    QList<LinkedFile> files;
    QByteArray siteUrl;
    if (kind == LinkKind::Url) {
        siteUrl = SiteOf(args.options).SiteUrl;
        for (const QByteArray& each : ids)
            files.append({QByteArray(), each});
    } else {
        const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options, SiteSessionUse::LoginOnly);
        siteUrl = site->Session().SiteUrl;
        const QMap<QByteArray, RemoteEntry> found = FindFiles(*site, ids);
        for (const QByteArray& each : ids) {
            if (!found.contains(each))
                throw SiteFailure("no file with id " + each + " on the disk");
            if (found[each].IsFolder)
                throw SiteFailure(each + " is a folder, not a file");
            files.append({found[each].Name, each});
        }
    }
    // Piped, the text is exactly the link window's; on a terminal the names
    // cannot carry control characters to it.
    const QByteArray text = GbkToTerminal(BuildLinkText(kind, siteUrl, files));
    WriteOut(StdoutIsTerminal() ? TerminalSafe(text, true) : text);
    return SiteExit::Ok;
}

const SiteCommand linksCommand("links", "links FILE_ID... [--kind url|ubb|post]", runLinks);

}  // namespace

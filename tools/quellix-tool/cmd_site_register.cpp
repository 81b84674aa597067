// site update: asks the site to take what has arrived on its FTP server
// into the account's disk ("更新入库"); site resume: lists the announced
// uploads that have not fully arrived ("续传文件"). The same requests as the
// windows' menu items; each prints the site's answer, and exits 1 when the
// site answers with anything but the action's own word.

#include "site_terminal.h"
#include "site_upload.h"

namespace {

int runUpdate(SiteArgs& args) {
    args.expectNoMore();
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    SiteUpload upload(*site, 0);
    const QString answer = upload.PostUpdate();
    WriteOut(TerminalSafe(answer.toUtf8()) + "\n");
    return SiteExit::Ok;
}

int runResume(SiteArgs& args) {
    args.expectNoMore();
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    SiteUpload upload(*site, 0);
    const int rows = upload.TakeResumeList();
    if (rows == 0)
        WriteOut(TerminalSafe(QString::fromUtf8("提示:暂无待续传文件").toUtf8()) + "\n");
    // One line per file: size text, then the local path, tab-separated.
    for (int row = 0; row < rows; ++row)
        WriteOut(TerminalSafe(upload.Queue.SizeText(row).toUtf8()) + "\t" +
                 TerminalSafe(upload.Queue.FullPath(row).toUtf8()) + "\n");
    return SiteExit::Ok;
}

const SiteCommand updateCommand("update", "update", runUpdate);
const SiteCommand resumeCommand("resume", "resume", runResume);

}  // namespace

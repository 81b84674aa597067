// site put FILES... [--folder ID] [--resume] [--parallel N]: uploads as "上传文件" does:
// the files are announced ("postlist") into the remote folder ID (default:
// the root), each is sent after a SIZE (skipped when the server holds it
// whole, continued with REST when it holds a part), and the site is asked
// to register them ("update"). With --resume the site's list of unfinished
// uploads comes first ("resume") and those files are finished in the same
// run. --parallel N sends up to N files at once, each over its own FTP
// session (1 to 8; default: quellix.ini's, 2 unless changed there; 1 is the
// windows' dialogue of one file after another). A file that is missing, or whose name or folder cannot be announced
// (not GBK, or holding ">" or "|"), is reported and the others go on. Exit
// 0 only when every file is on the server and the site confirmed "update".

#include "site_terminal.h"
#include "config/transferoptions.h"
#include "site_upload.h"

#include <QFileInfo>

namespace {

int runPut(SiteArgs& args) {
    QByteArray folderText;
    bool missingValue = false;
    const bool hasFolder = args.takeOption("--folder", folderText, missingValue);
    if (missingValue)
        args.usageError("--folder needs a value");
    const bool resume = args.takeFlag("--resume");
    QByteArray parallelText;
    const bool hasParallel = args.takeOption("--parallel", parallelText, missingValue);
    if (missingValue)
        args.usageError("--parallel needs a value");
    bool parallelOk = true;
    const int parallel = hasParallel ? parallelText.toInt(&parallelOk) : 0;
    if (hasParallel && (!parallelOk || parallel < 1 || parallel > TransferOptions::kMaxParallel))
        args.usageError("--parallel must be a number from 1 to " + QByteArray::number(TransferOptions::kMaxParallel) +
                        ", not '" + parallelText + "'");
    bool folderOk = true;
    const int folderId = hasFolder ? folderText.toInt(&folderOk) : 0;
    if (!folderOk || folderId < 0)
        args.usageError("--folder must be a folder id (decimal digits), not '" + folderText + "'");
    QList<QByteArray> paths;
    QByteArray path;
    while (args.takeArgument(path))
        paths.append(path);
    if (paths.isEmpty() && !resume)
        args.usageError("no FILES");

    // The local files first, so that nothing goes out when none can.
    int refused = 0;
    QStringList files;
    for (const QByteArray& raw : paths) {
        const QString file = QString::fromLocal8Bit(raw);
        const QFileInfo info(file);
        if (!info.isFile()) {
            WriteErr("no file " + TerminalSafe(raw) + "\n");
            ++refused;
        } else if (!UploadQueue::IsSendable(info.fileName()) || !UploadQueue::IsSendable(info.absolutePath() + "/")) {
            WriteErr("cannot be announced to the site (characters outside GBK, '>' or '|'): " + TerminalSafe(raw) +
                     "\n");
            ++refused;
        } else {
            files.append(info.absoluteFilePath());
        }
    }
    if (files.isEmpty() && !resume)
        throw SiteFailure("no file to upload");

    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    SiteUpload upload(*site, folderId, parallel);
    if (resume) {
        const int rows = upload.TakeResumeList();
        WriteErr(QByteArray::number(rows) + (rows == 1 ? " unfinished upload" : " unfinished uploads") +
                 " to resume\n");
    }
    {
        const UploadQueue::Batch batch(upload.Queue);
        for (const QString& file : files)
            upload.Queue.AddLocalFile(file);
    }
    if (upload.Queue.Count() == 0) {
        if (refused > 0)
            throw SiteFailure("nothing uploaded");
        WriteOut("nothing to upload\n");
        return SiteExit::Ok;
    }
    const bool complete = upload.Run();

    int sent = 0;
    int failed = 0;
    for (int row = 0; row < upload.Queue.Count(); ++row)
        (upload.Queue.Status(row) == QueueStatus::Succeeded() ? sent : failed) += 1;
    WriteOut(QByteArray::number(sent) + " on the server, " + QByteArray::number(failed) + " failed" +
             (refused > 0 ? ", " + QByteArray::number(refused) + " not queued" : QByteArray()) + "\n");
    // The files are on the FTP server, but the site has not taken them into
    // the disk: the upload has not done its job.
    const QByteArray unregistered = upload.RegistrationFailure();
    if (!unregistered.isEmpty())
        throw SiteFailure("the site did not register the uploads: " + unregistered);
    if (!complete || refused > 0)
        throw SiteFailure("not every file is on the server");
    return SiteExit::Ok;
}

const SiteCommand putCommand("put", "put FILES... [--folder ID] [--resume] [--parallel N]", runPut);

}  // namespace

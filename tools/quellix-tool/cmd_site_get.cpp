// site get FILE_ID [--name NAME] [-o DIR]: downloads one file of the disk as
// the download window does: the same address, two ranges, the same name
// rules (a safe name; a taken name gets "_" and two random characters
// before its extension, never an overwrite). Without --name the file's name
// (and size) is found in the listings. Exit 0 only for a complete file; an
// incomplete one is removed. The site sends nothing for a file it refuses
// and for an empty file alike (the window says "不存在" for both); an empty
// file the listing names is kept as the complete, empty download.

#include "site_listing.h"
#include "site_terminal.h"

#include "download/downloadtarget.h"
#include "download/filedownload.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {

int runGet(SiteArgs& args) {
    QByteArray nameText;
    QByteArray folderText;
    bool missing = false;
    const bool hasName = args.takeOption("--name", nameText, missing);
    const bool hasFolder = args.takeOption("-o", folderText, missing);
    if (missing)
        args.usageError("--name and -o need a value");
    QByteArray id;
    if (!args.takeArgument(id))
        args.usageError("no FILE_ID");
    args.expectNoMore();
    if (!IsEntryId(id))
        args.usageError("FILE_ID must be a file id (decimal digits), not '" + id + "'");
    if (hasName && nameText.isEmpty())
        args.usageError("--name is empty");

    const QString folderPath = hasFolder ? QString::fromLocal8Bit(folderText) : QDir::currentPath();
    const QFileInfo folderInfo(folderPath);
    if (!folderInfo.isDir())
        throw SiteFailure("no folder " + folderPath.toUtf8());
    QString folder = folderInfo.absoluteFilePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options);
    QString name = QString::fromUtf8(nameText);
    qint64 knownSize = -1;
    if (!hasName) {
        const QMap<QByteArray, RemoteEntry> found = FindFiles(*site, {id});
        if (!found.contains(id))
            throw SiteFailure("no file with id " + id + " on the disk");
        if (found[id].IsFolder)
            throw SiteFailure(id + " is a folder, not a file");
        name = FromGbk(found[id].Name);
        knownSize = found[id].Size;
    }

    const SiteSession& session = site->Session();
    FileDownload download{QString(), QString()};
    download.Start(DownloadAddress(session.SiteUrl, id, session.AccountName, session.AccountToken), folder, name);
    const QString target = download.TargetPath();
    if (download.LastOutcome() != FileDownload::Outcome::Running) {
        QFile::remove(target);
        throw SiteFailure("the download did not start");
    }

    const QByteArray label = TerminalSafe(QFileInfo(target).fileName().toUtf8());
    std::unique_ptr<TransferProgress> progress;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 length = download.HttpDownFile.ContentLength();
        if (length <= 0)
            return;
        if (!progress)
            progress = std::make_unique<TransferProgress>(label, length);
        progress->update(download.Received());
    });
    tick.start(100);

    // Ctrl+C stops the transfer where it is: the downloader goes with the
    // FileDownload, closing its connections, and the incomplete file is removed.
    auto removeIncomplete = [&] {
        tick.stop();
        if (progress)
            progress->finish(download.Received());
        download.HttpDownFile.FileStream = nullptr;
        QFile::remove(target);
    };
    try {
        WaitForSite([&] { return download.LastOutcome() != FileDownload::Outcome::Running; }, "the download", 0);
    } catch (const SiteFailure&) {
        removeIncomplete();
        throw;
    }
    switch (download.LastOutcome()) {
    case FileDownload::Outcome::Complete:
        tick.stop();
        // A transfer quicker than the first tick still ends with its line.
        if (!progress)
            progress = std::make_unique<TransferProgress>(label, download.HttpDownFile.ContentLength());
        progress->finish(download.Received());
        WriteOut((StdoutIsTerminal() ? TerminalSafe(target.toUtf8()) : target.toUtf8()) + "\n");
        return SiteExit::Ok;
    case FileDownload::Outcome::Missing:
        // The site sends nothing both for a file it refuses and for an empty
        // one; the listing tells them apart.
        if (knownSize == 0 && QFileInfo(target).size() == 0) {
            tick.stop();
            WriteOut((StdoutIsTerminal() ? TerminalSafe(target.toUtf8()) : target.toUtf8()) + "\n");
            return SiteExit::Ok;
        }
        removeIncomplete();
        throw SiteFailure(knownSize > 0 ? "the site sent nothing for file " + id
                                        : "the site has no file with id " + id + " for this account");
    default:
        removeIncomplete();
        throw SiteFailure("the download of " + label + " failed after " + QByteArray::number(download.Received()) +
                          (knownSize >= 0 ? " of " + QByteArray::number(knownSize) : QByteArray()) +
                          " bytes; the incomplete file was removed");
    }
}

const SiteCommand getCommand("get", "get FILE_ID [--name NAME] [-o DIR]", runGet);

}  // namespace

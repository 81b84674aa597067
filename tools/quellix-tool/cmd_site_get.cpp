// site get FILE_ID... [-r FOLDER_ID]... [--name NAME] [-o DIR] [--parallel N]
//          [--connections N] [--restart]
// downloads files of the disk, and with -r whole folders (the tree kept), on
// the download queue of the window: the same address, the same name rules
// (a safe name; a taken name gets "_" and two random characters before its
// extension, never an overwrite), up to --parallel files at once, each in
// --connections ranges. Every file is written as "NAME.part" beside its
// state file and renamed only when complete; an interrupted run (Ctrl+C, a
// kill, the network) leaves both, and the same command continues every file
// from where it stood (--restart starts them over). A file that is already
// there whole (its name and listed size, no part file) counts as complete.
// Exit 0 only when every file is complete; the summary names each failed
// file and why.

#include "site_listing.h"
#include "site_terminal.h"

#include "config/localfiles.h"
#include "config/transferoptions.h"
#include "download/downloadscheduler.h"
#include "download/downloadtarget.h"
#include "text/gbk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <memory>

namespace {

QByteArray pathText(const QString& path) {
    return StdoutIsTerminal() ? TerminalSafe(path.toUtf8()) : path.toUtf8();
}

// The queue on the terminal: a line per finished file on standard output
// (its path) or standard error (a failure), and the progress on standard
// error: on a terminal a bar per running file and one for the whole queue,
// redrawn in place; otherwise a plain line for the whole queue every second.
class TerminalDownloadPresenter : public DownloadPresenter {
public:
    explicit TerminalDownloadPresenter(bool terminal) : terminal_(terminal) { clock_.start(); }

    DownloadScheduler* scheduler = nullptr;
    // One file asked for: its failure is the command's one error line.
    bool single = false;
    QList<QByteArray> failures;  // "name: why", in the order they came
    int complete = 0;

    void FileEnded(int row) override {
        const DownloadRow& r = scheduler->Queue.Row(row);
        clearBars();
        if (r.State == RowState::Complete) {
            ++complete;
            WriteOut(pathText(r.LocalPath) + "\n");
        } else {
            const QByteArray why = r.State == RowState::Missing ? QByteArray("the site sent nothing for it")
                                                                : r.Reason.toUtf8();
            failures << TerminalSafe(r.Item.Name.toUtf8()) + ": " + TerminalSafe(why);
            if (!single)
                WriteErr("failed: " + failures.last() + "\n");
        }
        drawBars();
    }
    void FileStartedOver(int row, const QString& why) override {
        clearBars();
        WriteErr(TerminalSafe(scheduler->Queue.Row(row).Item.Name.toUtf8()) + ": " + why.toUtf8() + "\n");
        drawBars();
    }
    void FolderFailed(const QString& folder, const QString& why) override {
        clearBars();
        failures << "folder " + TerminalSafe(folder.toUtf8()) + ": " + TerminalSafe(why.toUtf8());
        WriteErr("failed: " + failures.last() + "\n");
        drawBars();
    }
    void QueueProgress() override {
        if (terminal_) {
            clearBars();
            drawBars();
            return;
        }
        const qint64 now = clock_.elapsed();
        if (now - lastPlainMs_ < 1000 && !scheduler->AtRest())
            return;
        lastPlainMs_ = now;
        if (scheduler->BurstTotal() > 0 || scheduler->RunningCount() > 0)
            WriteErr(totalLine() + "\n");
    }
    // The bars go; on a terminal the whole queue's line stays as the last.
    void finish() {
        clearBars();
        if (terminal_ && scheduler && (complete > 0 || !failures.isEmpty()))
            WriteErr("total  " + bar(complete, complete + failures.size()) + "  " + QByteArray::number(complete) +
                     " done, " + QByteArray::number(failures.size()) + " failed in " +
                     DurationText(clock_.elapsed() / 1000) + "\n");
    }

private:
    QByteArray bar(qint64 done, qint64 total) const {
        constexpr int width = 24;
        const int percent = total > 0 ? int(std::min<qint64>(done * 100 / total, 100)) : 0;
        const int filled = percent * width / 100;
        char number[16];
        std::snprintf(number, sizeof number, "%3d%%", percent);
        return "[" + QByteArray(filled, '#') + QByteArray(width - filled, '.') + "] " + number;
    }
    QByteArray totalLine() const {
        const qint64 total = scheduler->BurstTotal();
        const qint64 done = scheduler->BurstDone();
        const QByteArray files = QByteArray::number(scheduler->RunningCount()) + " running, " +
                                 QByteArray::number(scheduler->WaitingCount()) + " waiting, " +
                                 QByteArray::number(complete) + " done";
        if (!terminal_) {
            const int percent = total > 0 ? int(done * 100 / total) : 0;
            return "total: " + QByteArray::number(percent) + "%  " + RateText(scheduler->Rate()) + "  " + files;
        }
        return "total  " + bar(done, total) + "  " + RateText(scheduler->Rate()) + "  " + files;
    }
    void clearBars() {
        if (!terminal_ || drawn_ == 0)
            return;
        WriteErr("\033[" + QByteArray::number(drawn_) + "A\r\033[J");
        drawn_ = 0;
    }
    void drawBars() {
        if (!terminal_ || !scheduler)
            return;
        QByteArray text;
        for (int row = 0; row < scheduler->Queue.Count(); ++row) {
            const DownloadRow& r = scheduler->Queue.Row(row);
            if (r.State != RowState::Running)
                continue;
            QByteArray name = TerminalSafe(r.Item.Name.toUtf8());
            if (name.size() > 40)
                name = name.left(37) + "...";
            text += name + "  " + bar(r.Done, r.Length) + "  " + RateText(r.Rate) + "\n";
            ++drawn_;
        }
        text += totalLine() + "\n";
        ++drawn_;
        WriteErr(text);
    }

    bool terminal_;
    int drawn_ = 0;
    QElapsedTimer clock_;
    qint64 lastPlainMs_ = -1000000;
};

int numberOption(SiteArgs& args, const char* option, int fallback) {
    QByteArray text;
    bool missing = false;
    if (!args.takeOption(option, text, missing))
        return fallback;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (missing || !ok || value < 1 || value > 8)
        args.usageError(QByteArray(option) + " must be a number from 1 to 8");
    return value;
}

// The file is already there whole: its name, the size the listing gives,
// and no part file of it in the folder.
bool alreadyComplete(const DownloadItem& item, const QByteArray& site) {
    if (item.KnownSize < 0)
        return false;
    const QFileInfo file(item.Folder + SafeLocalFileName(item.Name));
    if (!file.isFile() || file.size() != item.KnownSize)
        return false;
    std::optional<DownloadState> state;
    const QString part = FindPartFile(item.Folder, item.Name, site, item.Id, QString(), state);
    return !state;
}

int runGet(SiteArgs& args) {
    QByteArray nameText;
    QByteArray folderText;
    bool missing = false;
    const bool hasName = args.takeOption("--name", nameText, missing);
    const bool hasFolder = args.takeOption("-o", folderText, missing);
    QList<QByteArray> trees;
    QByteArray tree;
    while (args.takeOption("-r", tree, missing))
        trees << tree;
    if (missing)
        args.usageError("--name, -o and -r need a value");
    const TransferOptions options = ReadTransferOptions(LocalFiles::ofRunningProgram());
    const int parallel = numberOption(args, "--parallel", options.parallelDownloads);
    const int connections = numberOption(args, "--connections", options.downloadConnections);
    const bool restart = args.takeFlag("--restart");
    QList<QByteArray> ids;
    QByteArray id;
    while (args.takeArgument(id))
        ids << id;
    args.expectNoMore();
    if (ids.isEmpty() && trees.isEmpty())
        args.usageError("no FILE_ID and no -r FOLDER_ID");
    for (const QByteArray& file : std::as_const(ids))
        if (!IsEntryId(file))
            args.usageError("FILE_ID must be a file id (decimal digits), not '" + file + "'");
    for (const QByteArray& folder : std::as_const(trees))
        if (!IsFolderId(folder))
            args.usageError("FOLDER_ID must be a folder id (decimal digits), not '" + folder + "'");
    if (hasName && (nameText.isEmpty() || ids.size() != 1 || !trees.isEmpty()))
        args.usageError("--name needs exactly one FILE_ID and no -r");

    const QString folderPath = hasFolder ? QString::fromLocal8Bit(folderText) : QDir::currentPath();
    const QFileInfo folderInfo(folderPath);
    if (!folderInfo.isDir())
        throw SiteFailure("no folder " + folderPath.toUtf8());
    QString folder = folderInfo.absoluteFilePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options, SiteSessionUse::LoginOnly);
    const SiteSession& session = site->Session();
    const bool many = ids.size() + trees.size() > 1;
    QList<QByteArray> failures;

    // The names (and sizes) from the listings, unless given.
    QList<DownloadItem> items;
    QList<RemoteFolder> folders;
    QList<QByteArray> wantedFolders;
    for (const QByteArray& t : std::as_const(trees))
        if (t.toInt() != 0)
            wantedFolders << t;
    // A file and a folder may carry the same id: the ids are looked for as
    // files, the -r ids as folders.
    const FoundEntries found = hasName || (ids.isEmpty() && wantedFolders.isEmpty())
                                   ? FoundEntries()
                                   : FindEntries(*site, ids, wantedFolders);
    for (const QByteArray& file : std::as_const(ids)) {
        if (hasName) {
            items << DownloadItem{file, QString::fromUtf8(nameText), folder, -1, QString()};
            continue;
        }
        QByteArray failure;
        if (!found.files.contains(file))
            failure = found.folders.contains(file) ? file + " is a folder, not a file (-r " + file + " fetches it)"
                                                   : "no file with id " + file + " on the disk";
        if (!failure.isEmpty()) {
            if (!many)
                throw SiteFailure(failure);
            failures << failure;
            WriteErr("failed: " + failure + "\n");
            continue;
        }
        const RemoteEntry& entry = found.files[file];
        items << DownloadItem{file, FromGbk(entry.Name), folder, entry.Size, FromGbk(RowTexts(entry).SizeText)};
    }
    for (const QByteArray& t : std::as_const(trees)) {
        if (t.toInt() == 0) {
            folders << RemoteFolder{t, QString()};
            continue;
        }
        QByteArray failure;
        if (!found.folders.contains(t))
            failure = found.files.contains(t) ? t + " is a file, not a folder" : "no folder with id " + t + " on the disk";
        if (!failure.isEmpty()) {
            if (!many)
                throw SiteFailure(failure);
            failures << failure;
            WriteErr("failed: " + failure + "\n");
            continue;
        }
        folders << RemoteFolder{t, FromGbk(found.folders[t].Name)};
    }

    TerminalDownloadPresenter presenter(StderrIsTerminal());
    DownloadScheduler queue(session, presenter);
    queue.Connector = site->Connector;
    presenter.scheduler = &queue;
    presenter.single = !many && folders.isEmpty();
    queue.SetOptions(parallel, connections);
    queue.UpdateIntervalMs = 100;

    // Files there whole already are not fetched again (unless --restart).
    int already = 0;
    if (!restart) {
        queue.AlreadyThere = [&](const DownloadItem& item) {
            if (!alreadyComplete(item, session.SiteUrl))
                return false;
            ++already;
            WriteOut(pathText(item.Folder + SafeLocalFileName(item.Name)) + "\n");
            return true;
        };
    }
    const auto queueFiles = [&](const QList<DownloadItem>& files) { queue.Add(files, restart); };
    queueFiles(items);
    for (const RemoteFolder& f : std::as_const(folders)) {
        // The root's files go straight into the folder; any other folder
        // gets a local folder of its name.
        if (f.Id.toInt() == 0) {
            QList<RemoteFolder> top;
            QList<DownloadItem> rootFiles;
            for (const RemoteEntry& entry : ReadListing(ListFolderLines(*site, 0))) {
                if (entry.IsFolder)
                    top << RemoteFolder{entry.Id, FromGbk(entry.Name)};
                else
                    rootFiles << DownloadItem{entry.Id, FromGbk(entry.Name), folder, entry.Size,
                                              FromGbk(RowTexts(entry).SizeText)};
            }
            queueFiles(rootFiles);
            queue.AddFolders(top, folder, restart);
        } else {
            queue.AddFolders({f}, folder, restart);
        }
    }
    // Files of folders are queued as their listings arrive.
    try {
        WaitForSite([&] { return queue.AtRest(); }, "the download", 0);
    } catch (const SiteFailure& failure) {
        presenter.finish();
        if (failure.exitCode() == SiteExit::Interrupted) {
            // The part files and their states stay for the next run.
            queue.PauseAll();
            WriteErr("the partial files stay; the same command continues them\n");
        }
        throw;
    }
    presenter.finish();
    failures << presenter.failures;
    const int complete = presenter.complete + already;
    if (failures.isEmpty())
        return SiteExit::Ok;
    if (!many && failures.size() == 1 && queue.Queue.Count() <= 1 && folders.isEmpty()) {
        // One file asked for: its failure alone, in the words of its cause.
        const DownloadRow* row = queue.Queue.Count() == 1 ? &queue.Queue.Row(0) : nullptr;
        if (row && row->State == RowState::Missing)
            throw SiteFailure(row->Item.KnownSize > 0
                                  ? "the site sent nothing for file " + row->Item.Id
                                  : "the site has no file with id " + row->Item.Id + " for this account");
        if (row)
            throw SiteFailure("the download of " + TerminalSafe(row->Item.Name.toUtf8()) + " failed: " +
                              TerminalSafe(row->Reason.toUtf8()) + "; the partial file stays for the next run");
    }
    WriteErr(QByteArray::number(complete) + " complete, " + QByteArray::number(failures.size()) + " failed:\n");
    for (const QByteArray& failure : std::as_const(failures))
        WriteErr("  " + failure + "\n");
    throw SiteFailure(QByteArray::number(failures.size()) + (failures.size() == 1 ? " file" : " files") +
                      " not downloaded");
}

const SiteCommand getCommand(
    "get", "get FILE_ID... [-r FOLDER_ID]... [--name NAME] [-o DIR] [--parallel N] [--connections N] [--restart]",
    runGet);

}  // namespace

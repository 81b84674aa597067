#pragma once
// The download of one remote file into a local folder: one session of the
// download queue (downloadscheduler.h runs several). The file is written as
// "<final name>.part" beside its state file (downloadstate.h) and gets its
// final name only when every byte is there: never a partial file under the
// final name. A download that stops (pause, a failure, the program's end, a
// crash) keeps both; the next start finds them by the file's site and id
// and continues from the complete spans, after a probe that shows the file
// unchanged (a changed size or validator, or a server that only sends the
// whole file, starts it over and says so).
//
// Outcomes:
//   Complete  every byte arrived; the part file has its final name (the name
//             rules apply at that moment: a taken name gets "_" and two
//             random characters before its extension)
//   Failed    the transfer or the local disk failed; Reason() says why
//             ("磁盘空间不足", ...); part and state files stay
//   Missing   the site refused the file or sent nothing (its empty reply to
//             a refused download); nothing stays on the disk. A file the
//             listing named with size 0 is complete as an empty file
//             instead.
//   Paused    Pause() stopped it; part and state files saved

#include "download/downloadqueue.h"
#include "download/downloadstate.h"
#include "download/partfile.h"
#include "net/multipartdownloader.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class FileDownload : public QObject {
    Q_OBJECT
public:
    enum class Outcome { None, Running, Complete, Failed, Missing, Paused };

    struct Target {
        DownloadItem Item;
        QByteArray Site;  // SiteUrl: with the id, names the remote file in the state file
        QByteArray Url;   // the download address (credentials included)
        // The part file of an earlier start, tried first (the queue
        // remembers it across restarts).
        QString KnownPartPath;
        // Drop what an earlier start left and fetch the file anew.
        bool StartOver = false;
    };

    // `downloader` fetches the file; the scheduler makes it (one place for
    // every downloader of the queue).
    FileDownload(std::unique_ptr<TMultipartHttpDownloader> downloader, Target target, QObject* parent = nullptr);
    ~FileDownload() override;

    // Finds or creates the part file and starts the transfer. A failure to
    // create the file ends the download as Failed, reported like any other
    // ending: OnEnded comes from the event loop, never inside Start.
    void Start();
    // Stops the transfer where it is and saves the state (Outcome Paused);
    // no OnEnded.
    void Pause();

    // The state file is written (after the part file was synced) whenever
    // this many more bytes are complete, and at every stop.
    qint64 SaveEveryBytes = 1 << 20;

    std::function<void()> OnEnded;
    // A continued file starts over: the text says why.
    std::function<void(const QString& why)> OnStartedOver;

    Outcome LastOutcome() const { return outcome_; }
    const QString& Reason() const { return reason_; }
    // The part file while unfinished, the final file once complete.
    QString LocalPath() const { return outcome_ == Outcome::Complete ? finalPath_ : partPath_; }
    const QString& PartPath() const { return partPath_; }
    const QString& FinalPath() const { return finalPath_; }
    // The document's length once known (-1 before), and its bytes on disk.
    qint64 Length() const;
    qint64 Done() const;
    // Bytes that arrived over the network since Start (restarts included).
    qint64 Received() const { return downloader_->TotalCount(); }
    const Target& target() const { return target_; }
    TMultipartHttpDownloader& Downloader() { return *downloader_; }

private:
    bool openPartFile(QString& failure);
    bool takeExisting(const QString& partPath, const DownloadState& state);
    bool saveState();
    void transferEnded(int errorCode, const QByteArray& reason);
    void complete();
    void end(Outcome outcome, const QString& reason = QString());
    QString diskFailure(int error) const;
    void removePartFiles();

    std::unique_ptr<TMultipartHttpDownloader> downloader_;
    Target target_;
    PartFile part_;
    QString partPath_;
    QString finalPath_;
    DownloadState state_;
    Outcome outcome_ = Outcome::None;
    QString reason_;
    qint64 savedBytes_ = 0;
    int saveErrno_ = 0;
};

// Chooses the part file for `target` in its folder: the known one or any
// "*.part.state" there that names the same file of the same site (a
// continuation), else a new name from the file's name, made safe, with
// "_" and two random characters when its part file is taken. Gives the
// part path and whether an earlier one is continued; `state` gets what its
// state file holds.
QString FindPartFile(const QString& folder, const QString& name, const QByteArray& site, const QByteArray& id,
                     const QString& knownPartPath, std::optional<DownloadState>& state);

#pragma once
// The download queue at work: what to fetch (the rows of DownloadQueue) kept
// apart from how many at once. Up to Parallel() files run at the same time,
// each a FileDownload session with Connections() ranges; a session that
// ends lets the next waiting row start. Starting another download never
// stops one. Folders are listed with the site's "mydisk" request, one
// request per folder, and their files queued under a local folder of the
// same name, the whole tree kept.
//
// The queue survives the program: the rows that are not complete are kept
// in a queue file (one per user, rows of every site and account) and come
// back, paused, at the next login with the same account and site; their
// part and state files beside the final names hold the bytes.
//
// The window's queue page and `quellix-tool site get` are two presenters of
// the same scheduler (DownloadPresenter).

#include "disk/listingrequest.h"
#include "download/downloadqueue.h"
#include "download/filedownload.h"
#include "login/sitesession.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

// A remote folder to fetch with everything below it.
struct RemoteFolder {
    QByteArray Id;
    QString Name;
};

class DownloadPresenter {
public:
    virtual ~DownloadPresenter() = default;
    // A file's transfer began (or continued).
    virtual void FileStarted(int row) { (void)row; }
    // A file ended by itself: complete, failed or missing (not a pause or a
    // removal).
    virtual void FileEnded(int row) = 0;
    // A continued file starts over; `why` says why.
    virtual void FileStartedOver(int row, const QString& why) {
        (void)row;
        (void)why;
    }
    // A folder could not be listed (`why`): the files in it are not queued.
    virtual void FolderFailed(const QString& folder, const QString& why) {
        (void)folder;
        (void)why;
    }
    // The totals, rates and row progress changed: at most every
    // UpdateIntervalMs while files run, and when the queue comes to rest.
    virtual void QueueProgress() {}
};

class DownloadScheduler : public QObject {
    Q_OBJECT
public:
    // `session`: the site and account (read whenever a file starts, so the
    // current token is used); `queueFile`: where unfinished rows are kept
    // between runs ("" keeps nothing).
    DownloadScheduler(const SiteSession& session, DownloadPresenter& presenter, QString queueFile = QString(),
                      QObject* parent = nullptr);
    ~DownloadScheduler() override;

    DownloadQueue Queue;

    // Files at once (1-8) and ranges per file (1-8). More files allowed
    // start waiting rows at once; fewer let the running ones finish. The
    // range count applies to files started from now on.
    void SetOptions(int parallel, int connections);
    int Parallel() const { return parallel_; }
    int Connections() const { return connections_; }

    // Called for every downloader the queue makes, right after it got the
    // queue's own settings: the one place where what all of the queue's
    // connections share (time limits, the connection path) is set.
    std::function<void(TMultipartHttpDownloader&)> ConfigureDownloader;
    // How the queue's downloads and folder listings connect (proxy, rate
    // limits); null: directly and unlimited. Set before the first file.
    QPointer<NetConnector> Connector;
    // The state files are written whenever this many more bytes of a file
    // are on the disk (and at every stop).
    qint64 SaveEveryBytes = 1 << 20;
    int UpdateIntervalMs = 500;
    // Files for which this holds are not queued (the command line's
    // continuation passes over a file that is there whole).
    std::function<bool(const DownloadItem& item)> AlreadyThere;

    // Queues files (after the rows there) and starts what may start. A file
    // already queued and not complete for the same folder is not added again.
    // `startOver`: what earlier runs left of these files is dropped.
    void Add(const QList<DownloadItem>& items, bool startOver = false);
    // Lists each folder and the folders below it, one request per folder,
    // and queues their files under `saveFolder` + the folder's name (made
    // safe), the tree kept; empty folders are made too.
    void AddFolders(const QList<RemoteFolder>& folders, const QString& saveFolder, bool startOver = false);
    // Folders are still being listed.
    bool Listing() const { return listingBusy_ || !pendingFolders_.isEmpty(); }
    // Listing requests sent so far.
    int ListingRequests() const { return listingRequests_; }

    // The queue page's commands, on rows by index.
    void Pause(const QList<int>& rows);
    void Continue(const QList<int>& rows);
    // Stops and removes the rows; with `deletePartFiles` their part and
    // state files go too (a complete file is never deleted).
    void Remove(const QList<int>& rows, bool deletePartFiles);
    void ClearFinished();
    // Every running and waiting row pauses and the queue file is written:
    // the program is ending or the account changes.
    void PauseAll();

    // The rows of another account or site are put away (paused, kept in the
    // queue file) and those of the session's account and site come back,
    // paused, or waiting when `startNow`. Nothing changes when the session
    // names the account and site the rows belong to.
    void TakeSession(bool startNow);
    // Writes the queue file now.
    void SaveQueue();

    int RunningCount() const { return int(sessions_.size()); }
    int WaitingCount() const;
    bool AtRest() const { return sessions_.empty() && WaitingCount() == 0 && !Listing(); }
    // The files of the current burst of work (since the queue last came to
    // rest): their bytes in all and on the disk, and the rate over all.
    qint64 BurstTotal() const;
    qint64 BurstDone() const;
    double Rate() const { return rate_; }

    // The session of a running row (tests, presenters); nullptr otherwise.
    FileDownload* SessionOf(int row) const;

private:
    std::unique_ptr<TMultipartHttpDownloader> newDownloader();
    void schedule();
    void startRow(int row);
    void sessionEnded(quint64 key);
    void stopSession(quint64 key, bool save);
    void tick();
    void noteChanged();
    void listNextFolder();
    void folderListed(const QList<QByteArray>& lines);
    void folderFailed(const QString& why);
    void restoreRows(bool startNow);

    const SiteSession& session_;
    DownloadPresenter& presenter_;
    QString queueFile_;
    int parallel_ = 2;
    int connections_ = 2;
    std::map<quint64, std::unique_ptr<FileDownload>> sessions_;
    QTimer tick_;
    QTimer saveSoon_;
    QElapsedTimer clock_;
    qint64 lastTickMs_ = 0;
    qint64 lastTickBytes_ = 0;
    qint64 receivedEnded_ = 0;
    int waitingHint_ = 0;  // no row before it waits  // bytes received by sessions that have ended
    double rate_ = 0;
    // The current burst: bytes of files completed in it.
    qint64 burstCompleted_ = 0;
    qint64 burstCompletedDone_ = 0;
    QByteArray ownerSite_;
    QByteArray ownerAccount_;

    struct PendingFolder {
        QByteArray Id;
        QString Name;
        QString LocalFolder;  // ends with "/"
        bool StartOver = false;
    };
    QList<PendingFolder> pendingFolders_;
    PendingFolder listed_;
    bool listingBusy_ = false;
    int listingRequests_ = 0;
    QList<QByteArray> seenFolders_;
    std::unique_ptr<FolderListingRequest> listing_;
};

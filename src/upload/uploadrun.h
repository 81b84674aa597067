#pragma once
// The FTP upload run. "上传文件" announces the queue to the site, then opens
// ftp1 with the site's FTP account. Everything else happens inside the
// blocking Open: each completion starts the next request from within the
// wait (USER, PASS, CWD, TYPE I), then, row by row, a blocking SIZE of the
// row's remote name decides between skipping a file the server holds
// whole, continuing one it holds in part (REST from its size) and sending
// it from the start. After the last row QUIT follows and the site is asked
// to register the uploads ("update").
//
// "暂停" drops the connection; a later run announces the queue again,
// skips what is complete and continues the interrupted file. "取消" only
// gives the upload button back, for a run that stopped without finishing.
//
// A run starts only when the "postlist" of its own click was accepted, and
// it takes exactly the rows that list announced, in row order: the site
// registers only announced uploads. The queue may change while the run goes
// on: a deleted row is passed over, and rows added meanwhile stay queued for
// the next run, which announces them.
//
// A try of a row broken by the network (connection lost, time-out,
// 421/425/426, a 4xx reply to REST or to AUTH TLS) is tried again: the run
// logs in again, asks SIZE and continues with REST from the server's size.
// A reconnect whose connect, greeting or TLS handshake fails or times out
// is such a try too. A try that sent bytes is followed at once; tries that
// sent nothing wait a growing delay each, and RetryDelaysMs.size() of them
// in a row fail the row. Replies another try will not change (530, 550,
// 552, 553, a local file that cannot be read, a store that cannot start)
// fail the row at once, with the reason in the status line, and the run
// stops there. "暂停" drops the connection at whatever point, also while a
// reconnect resolves or connects; "取消" drops a pending retry, waiting or
// connecting, and fails its row.
//
// A row the user deletes while it is being sent, or while it waits for a
// retry, is passed over and the run goes on with the next row.
//
// The run ends with "update"; a registration the site does not confirm
// (another status, another reply, no reply in time) is shown as
// "上传文件入库失败" with the reason, and the queue is not marked as
// uploaded, so that the next "上传文件" registers it again.
//
// Several files at once: ParallelUploads sessions (UploadSession), each a
// connection of its own with the log-in above, take the announced rows in
// row order, one at a time; every rule above holds per session. The first
// session begins the run; the others open once it has logged in, and only
// as many as there are rows left for them. A server that will not take
// another session (421, or 530 "too many connections", or a refused
// connection while a session is logged in) is no failure: the run goes on
// with the sessions it has and remembers the limit of that server (host and
// port) for the rest of its life. One "postlist" announces the whole queue,
// and the run ends with the registration once, after the last session's
// last row. With one session the dialogue is the one described above.
//
// What the run shows goes through an UploadPresenter; per-file texts, the
// gauge (the share of the whole run's bytes on the server) and the rows'
// statuses are reported as they change, and the presenter decides how often
// to show them.

#include "net/ftpclient.h"
#include "net/ftptls.h"
#include "upload/uploadpresenter.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadsession.h"
#include "upload/uploadsite.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class UploadRun {
public:
    UploadRun(const UploadSite& site, UploadQueue& queue, UploadRegistration& registration,
              UploadPresenter& presenter);
    ~UploadRun();

    // "上传文件": starts a run, or, when the queue has been uploaded whole,
    // offers to empty it.
    void btnUploadClick();
    // Opens the run's first session with the site's FTP account; returns
    // when the run has come to rest (finished, failed, paused, or waiting
    // for a retry).
    void ConnectFtp();
    // "暂停": every session stops at once; nothing more is sent.
    void btnAbortClick();
    // "取消".
    void btnCancelClick();

    // The client of the run's first session. Its settings (time limit,
    // trusted certificates, data ports, state and display handlers) are
    // those of every session's client.
    TFtpClient ftp1;

    // Files sent at once, each over its own FTP session (1 to 8); taken at
    // the start of each run.
    int ParallelUploads = 1;

    // The run has come to rest for good: at its end, or stopped by a
    // failure that no retry follows (not when the user paused or cancelled
    // it). `files`: the announced rows still queued; `failed`: those of
    // them not on the server. For the desktop notification.
    std::function<void(int files, int failed)> OnRunOver;

    // The waits before the retries of a row that follow tries which sent
    // nothing (ms); their number bounds such retries in a row.
    QList<int> RetryDelaysMs = {2000, 5000, 10000};

    // Name part of the last row taken; empty until the first row of the
    // program's life is taken.
    QString CurrentFileName;

    // The sessions of a run of several files at once check each stored
    // file's size on the server (with the next file's SIZE, no round trip
    // more) before it counts as sent.
    bool ChecksStores() const { return checksStores_; }
    // A run goes on: a session is connecting, sending or waiting to retry.
    bool Running() const { return running_; }
    // The sessions of the last run that logged in.
    int SessionsLoggedIn() const { return loggedIn_; }
    // The number of sessions a server took before it refused another, as
    // remembered for this program's life; 0 when none was refused.
    int SessionLimit(const QByteArray& host, const QByteArray& port) const;

    // The last run ended without the site confirming its "update"; why.
    bool RegistrationFailed() const { return registered_ == Registered::Failed; }
    const SiteActionOutcome& RegistrationOutcome() const { return registrationOutcome_; }

private:
    friend class UploadSession;
    enum class Registered { NotYet, Confirmed, Failed };

    // Every session's client is made here, with ftp1's settings.
    TFtpClient& sessionClient(int index);
    void configureClient(TFtpClient& client);
    UploadSession& session(int index);
    bool anySessionActive() const;
    // Runs the event loop until no session is active; the completions
    // drive the run meanwhile.
    void waitForRest();
    // What follows a wait for rest: the texts and buttons of a stopped run,
    // and a certificate failure told to the user.
    void afterRest(int cancelsBefore);

    // ---- What the sessions report ----
    const UploadSite& site() const { return site_; }
    UploadQueue& queue() { return queue_; }
    UploadPresenter& presenter() { return presenter_; }
    void logCompletion(TFtpClient& sender, TFtpRequest rqType);
    // A completion of a session has been handled: the end of the run follows
    // the last session's.
    void completionHandled(UploadSession& session, TFtpRequest rqType);
    void sessionLoggedIn(UploadSession& session);
    // The next announced row for a session; 0 when none is left.
    quint64 takeRow();
    // Sizes of the run's files on the server, learned by the first session
    // before the rows are handed out (several sessions only): the names of
    // the next batch to ask, empty when all are known.
    QList<QByteArray> nextSizeBatch(QList<quint64>& rows);
    void sizesLearned(const QList<quint64>& rows, const QList<qint64>& sizes);
    bool sizesPending() const { return checksStores_ && sizedUpTo_ < runRows_.size(); }
    // The next row to hand out waits for its size.
    bool rowsAwaitSizes() const {
        return sizesPending() && givenBack_.isEmpty() && runPosition_ + 1 >= sizedUpTo_;
    }
    // The sizes could not be learned ahead: the rest are asked per file.
    void stopSizing();
    // The size the server reported for a row: -1 none, kSizeUnknown not asked.
    static constexpr qint64 kSizeUnknown = -2;
    qint64 knownSize(quint64 row) const { return sizes_.value(row, kSizeUnknown); }
    // The remote name of the row the run would hand out next that needs a
    // SIZE (its file exists); empty when none.
    QByteArray peekNextRemoteName() const;
    // A row goes back to be taken again first (its check could not be made).
    void giveBack(quint64 row);
    // The server holds less of a stored file than was sent: the row is taken
    // again (REST from what the server holds), at most a few times.
    void storeCameShort(quint64 row);
    void rowTaken(UploadSession& session);
    void rowEnded(qint64 bytes);
    void sessionProgress(UploadSession& session);
    void rowFailed();
    // A session came to rest (with `runFails`: the run's first log-in
    // failed); the run rests when none is active.
    void sessionStopped(bool runFails = false);
    void maybeEnd();
    // QUIT's wait has returned: the end-of-run steps once more, and the
    // run is over.
    void finishRun(UploadSession& session);
    // A session other than the first could not log in: a server that limits
    // sessions is remembered, and the run goes on without that session.
    void extraSessionRefused(UploadSession& session, quint16 errCode);
    void showGauge();
    void noteSessionLimit();

    void endOfRunSteps();
    void reportRunOver();
    void enableUpload();
    void showStatus(const QString& text, bool frequent = false) { presenter_.ShowStatus(text, frequent); }
    QByteArray serverKey() const;

    UploadSite site_;
    UploadQueue& queue_;
    UploadRegistration& registration_;
    UploadPresenter& presenter_;
    FtpTlsServers tlsServers_;  // shared by every session of every run
    std::vector<std::unique_ptr<TFtpClient>> clients_;  // the clients of sessions 1 and up
    std::vector<std::unique_ptr<UploadSession>> sessions_;
    int sessionsInRun_ = 0;      // sessions_[0 .. sessionsInRun_) take part in this run
    int sessionsWanted_ = 1;     // ParallelUploads, as taken at the run's start, within the server's limit
    int loggedIn_ = 0;
    bool spread_ = false;        // the other sessions have been opened
    bool sessionRefused_ = false;  // the server refused a session of this run
    bool running_ = false;
    bool pausedSinceOpen_ = false;  // "暂停" came after the run's first Open
    bool checksStores_ = false;
    QList<quint64> givenBack_;   // rows to hand out again first
    QHash<quint64, qint64> sizes_;  // rows' sizes on the server, as learned before the stores
    qsizetype sizedUpTo_ = 0;    // runRows_[0 .. sizedUpTo_) have been asked
    QHash<quint64, int> shortStores_;  // stores of a row that came short, this run
    bool halted_ = false;        // a row failed for good: no more rows are handed out
    bool waiting_ = false;       // inside waitForRest
    bool openCalled_ = false;    // this click has reached Open
    int cancels_ = 0;            // clicks on "取消" so far
    QList<quint64> runRows_;     // the rows the run's announcement named, by row key
    qsizetype runPosition_ = -1; // index into runRows_ of the last row handed out
    UploadSession* quitting_ = nullptr;  // the session whose QUIT ends the run
    Registered registered_ = Registered::NotYet;  // this run's "update"
    SiteActionOutcome registrationOutcome_;
    bool runOpen_ = false;       // a run has started and its end is not reported yet
    qint64 runBytes_ = 0;        // the sizes of the run's files
    qint64 bytesDone_ = 0;       // of them, in rows that have ended
    int gauge_ = 0;
    QHash<QByteArray, int> sessionLimits_;  // "host:port" -> sessions it took
};

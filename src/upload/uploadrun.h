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
// What the run shows goes through an UploadPresenter; per-file texts, the
// gauge and the rows' statuses are reported as they change, and the
// presenter decides how often to show them.

#include "net/ftpclient.h"
#include "upload/uploadpresenter.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadsite.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>
#include <functional>

// Where the run stands; the completion handler reads each completion by
// it. Changed only through setStep().
enum class UploadStep {
    Idle,            // no run goes on: none started, or it ended (finished, failed, paused, cancelled)
    Connecting,      // the Open and log-in that begin a run
    Reconnecting,    // the Open and log-in of a retry
    Sizing,          // SIZE of the row taken
    Storing,         // the store of the row taken
    WaitingToRetry,  // the pause before the next try of the row
    Quitting,        // past the last row: QUIT and the registration
};

class UploadRun {
public:
    UploadRun(const UploadSite& site, UploadQueue& queue, UploadRegistration& registration,
              UploadPresenter& presenter);

    // "上传文件": starts a run, or, when the queue has been uploaded whole,
    // offers to empty it.
    void btnUploadClick();
    // Fills ftp1 from the site's settings and opens the connection; returns
    // when the run has come to rest.
    void ConnectFtp();
    void ftp1RequestDone(TFtpClient& sender, TFtpRequest rqType, quint16 errCode);
    // Moves to the next row that needs a transfer and starts it, or ends
    // the run with QUIT after the last row.
    void UploadNextFile();
    // SIZE of a remote name; 0 when the server reports none.
    qint64 GetRemoteFileSize(const QByteArray& remoteName);
    void ftp1Progress64(TFtpClient& sender, qint64 count, bool& abort);
    // "暂停".
    void btnAbortClick();
    // "取消".
    void btnCancelClick();

    TFtpClient ftp1;

    // The run's cursor: the row the run is on, where it stands now.
    int CurrentIndex = -1;
    qint64 LocalSize = 0;
    qint64 RemoteSize = 0;
    QString CurrentFileName;  // empty until the first row of the program's life is taken
    QByteArray CurrentRemoteName;

    // The run has come to rest for good: at its end, or stopped by a
    // failure that no retry follows (not when the user paused or cancelled
    // it). `files`: the announced rows still queued; `failed`: those of
    // them not on the server. For the desktop notification.
    std::function<void(int files, int failed)> OnRunOver;

    // The waits before the retries of a row that follow tries which sent
    // nothing (ms); their number bounds such retries in a row.
    QList<int> RetryDelaysMs = {2000, 5000, 10000};

    UploadStep Step() const { return step_; }
    // The last run ended without the site confirming its "update"; why.
    bool RegistrationFailed() const { return registered_ == Registered::Failed; }
    const SiteActionOutcome& RegistrationOutcome() const { return registrationOutcome_; }

private:
    enum class Registered { NotYet, Confirmed, Failed };
    // What failed a try of the row: its store (or SIZE), the connection
    // under it, or the log-in of a retry.
    enum class TryFailure { Store, ConnectionLost, LogIn };

    void setStep(UploadStep step);
    // Each completion, read by the step the run is in.
    void logInStepDone(TFtpRequest rqType, quint16 errCode);
    void storeDone(quint16 errCode);
    // The store of the row taken, from `resumeAt` (REST) or from the start.
    void startStore(const QString& path, qint64 resumeAt);
    // A try of the row at the run's position failed: pass a deleted row
    // over, try again, or fail the row and stop.
    void tryFailed(quint16 errCode, TryFailure kind);
    // Schedules another try after a failure that may go away; false when
    // the row has used up its retries.
    bool scheduleRetry();
    void retryNow();
    // The row failed for good; the run stops there.
    void failRow(const QString& reason);
    // The row being sent is still in the queue and marked as being sent.
    bool currentRowUploading() const;
    void endOfRunSteps();
    // Reports the run's end through OnRunOver, once per run.
    void reportRunOver();
    // The run has passed the last row it announced.
    bool pastLastRow() const { return runPosition_ >= runRows_.size(); }
    void enableUpload();
    void setGauge(qint64 count);
    void showStatus(const QString& text, bool frequent = false) { presenter_.ShowStatus(text, frequent); }
    // The final status of the row the run took, unless the queue has moved
    // under the run and that row is no longer the one being sent.
    void settleCurrentRow(const QString& status);

    UploadSite site_;
    UploadQueue& queue_;
    UploadRegistration& registration_;
    UploadPresenter& presenter_;
    UploadStep step_ = UploadStep::Idle;
    int gauge_ = 0;            // the percentage last reported
    bool openCalled_ = false;  // this click has reached Open
    int cancels_ = 0;          // clicks on "取消" so far
    QList<quint64> runRows_;   // the rows the run's announcement named, by row key
    qsizetype runPosition_ = -1;  // index into runRows_
    quint64 currentRow_ = 0;   // the key of the row being sent
    bool retakeRow_ = false;   // the next UploadNextFile takes the current row again, if it is still there
    Registered registered_ = Registered::NotYet;  // this run's "update"
    SiteActionOutcome registrationOutcome_;

    // The tries of the row at the run's position.
    QTimer retryTimer_;
    int retriesUsed_ = 0;       // retries of the row in a row after tries that sent nothing
    qint64 rowReached_ = -1;    // furthest offset of the row sent beyond the server's size, -1: none
    qint64 reachedAtFailure_ = -1;
    bool runOpen_ = false;      // a run has started and its end is not reported yet
};

#pragma once
// One FTP session of an upload run: its own connection (log-in, CWD, TYPE
// I) and the row it is sending, under the per-file rules of the run: SIZE
// decides between skipping a file the server holds whole, continuing one it
// holds in part (REST from its size) and sending it from the start; a try
// broken by the network is tried again on a new connection; "暂停" and "取消"
// stop it. The run (UploadRun) hands the session one row at a time and is
// told when the session has logged in, ended a row or run out of rows;
// what the session shows goes through the run.
//
// A session runs on the asynchronous requests of its client, each
// completion starting the next: several sessions side by side cannot each
// wait in a blocking call, since those waits would nest inside one another.
// The client's own time limit (TimeLimitAsync) stands in for the blocking
// waits' limit.

#include "net/ftpclient.h"

#include <QByteArray>
#include <QString>
#include <QTimer>

class UploadRun;

// Where a session stands; its completion handler reads each completion by
// it. Changed only through setStep().
enum class UploadStep {
    Idle,            // nothing goes on: not started, or stopped (failed, paused, cancelled)
    Connecting,      // the Open and log-in that begin the session
    Reconnecting,    // the Open and log-in of a retry
    Sizing,          // SIZE of the row taken
    Storing,         // the store of the row taken
    WaitingToRetry,  // the pause before the next try of the row
    Done,            // logged in, no row left for it
    Quitting,        // past the last row: QUIT and the registration
};

class UploadSession {
public:
    UploadSession(UploadRun& run, TFtpClient& ftp, int index);

    TFtpClient& ftp;
    // 0 for the session that begins the run; the others open once it has
    // logged in.
    const int Index;

    UploadStep Step() const { return step_; }
    // Connecting, logging in, sizing or storing: a completion is to come.
    bool Active() const;
    // The session holds a row (sending it, or waiting to try it again).
    bool HoldsRow() const {
        return step_ == UploadStep::Sizing || step_ == UploadStep::Storing || step_ == UploadStep::WaitingToRetry ||
               step_ == UploadStep::Reconnecting;
    }
    // The bytes of the row being sent that are on their way or on the
    // server (ResumeAt included); 0 when it holds none.
    qint64 BytesInFlight() const { return (HoldsRow() ? inFlight_ : 0) + (checked_.row ? checked_.size : 0); }
    qint64 LocalSize() const { return localSize_; }
    const QString& FileName() const { return fileName_; }
    quint64 Row() const { return row_; }

    // Fills the client from the site's settings and opens the connection
    // (a retry's, with `retry`); false when Open could not even start.
    bool Connect(bool retry);
    void RequestDone(TFtpClient& sender, TFtpRequest rqType, quint16 errCode);
    void Progress(qint64 count);
    // "暂停": the connection goes at whatever point; the row being sent
    // waits for the next run ("待续传").
    void Pause();
    // "取消": a pending retry, waiting or connecting, is given up and its
    // row fails.
    void Cancel();
    // The row failed for good; the session stops (and with it the run).
    void FailRow(const QString& reason);
    // Takes rows until one needs a transfer and starts it; when none is
    // left, tells the run.
    void NextFile();
    // Logged in, it waits for the sizes of the rows it would take.
    bool WaitsForSizes() const { return waitsForSizes_; }
    // The last session of the run: QUIT (blocking, the run's end follows
    // inside it).
    void QuitAtEnd();
    // A session whose rows have run out while others go on: QUIT without
    // waiting.
    void QuitQuietly();
    // Forgets the row and stops (a session the server would not take, or
    // the end of a run).
    void Drop();
    // Why the session's last Open stopped the run (a certificate that does
    // not verify, a proxy that is down or refuses the client), as the text
    // the user reads, once: empty when nothing stopped it, and after the
    // first time it was asked since that Open.
    QByteArray TakeStopReason();

private:
    // What failed a try of the row: its store (or SIZE), the connection
    // under it, or the log-in of a retry.
    enum class TryFailure { Store, ConnectionLost, LogIn };

    void setStep(UploadStep step);
    void logInStepDone(TFtpRequest rqType, quint16 errCode);
    void logInFailed(quint16 errCode);
    void sizeDone(quint16 errCode);
    // SIZE of the row taken, with the check of the file stored before when
    // stores are checked; then what the sizes say.
    void askSizes();
    void sizesDone(quint16 errCode);
    void sizeKnown();
    void sizeQueue();
    void queueSizesDone(quint16 errCode);
    // The store's SIZE of the file stored before has been answered, or not.
    void resolveCheck();
    bool checkStored(qint64 sizeOnServer);
    void settle(quint64 row, const QString& status);
    void storeDone(quint16 errCode);
    void startStore(qint64 resumeAt);
    void tryFailed(quint16 errCode, TryFailure kind);
    bool scheduleRetry();
    void retryNow();
    bool rowUploading() const;
    void settleRow(const QString& status);
    QString named(const char* utf8Text) const;

    UploadRun& run_;
    UploadStep step_ = UploadStep::Idle;
    bool stopReasonTaken_ = false;
    bool waitsForSizes_ = false;
    // The first session asks the sizes of the run's files before the rows
    // are handed out (several sessions only); the rows of the batch asked.
    bool sizingQueue_ = false;
    QList<quint64> batchRows_;

    // The row being sent.
    quint64 row_ = 0;
    QString path_;
    QString fileName_;
    QByteArray remoteName_;
    qint64 localSize_ = 0;
    qint64 remoteSize_ = 0;
    qint64 inFlight_ = 0;
    bool retakeRow_ = false;  // the next NextFile takes the current row again, if it is still there

    // A store the server confirmed, whose size on the server is asked
    // before its row counts as sent (sessions of a parallel run).
    struct Stored {
        quint64 row = 0;
        QByteArray remoteName;
        qint64 size = 0;
        QString fileName;
    } checked_;

    // The tries of the row.
    QTimer retryTimer_;
    int retriesUsed_ = 0;      // retries of the row in a row after tries that sent nothing
    qint64 rowReached_ = -1;   // furthest offset of the row sent beyond the server's size, -1: none
    qint64 reachedAtFailure_ = -1;
};

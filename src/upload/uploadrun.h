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
// A store broken by the network (connection lost, time-out, 421/425/426)
// is tried again: the run logs in again, asks SIZE and continues with REST
// from the server's size. A try that sent bytes is followed at once; tries
// that sent nothing wait a growing delay each, and RetryDelaysMs.size() of
// them in a row fail the row. Replies another try will not change (530,
// 550, 552, 553, a local file that cannot be read) fail the row at once.
// "暂停" and "取消" stop a pending retry.
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

private:
    // Schedules another try of the row being sent after a failure that
    // may go away; false when the row has failed for good.
    bool scheduleRetry(quint16 errCode);
    void retryNow();
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
    int gauge_ = 0;            // the percentage last reported
    bool openCalled_ = false;  // this click has reached Open
    QList<quint64> runRows_;   // the rows the run's announcement named, by row key
    qsizetype runPosition_ = -1;  // index into runRows_
    quint64 currentRow_ = 0;   // the key of the row being sent
    QTimer retryTimer_;
    int retriesUsed_ = 0;       // retries of the row in a row after tries that sent nothing
    qint64 rowReached_ = -1;    // furthest offset of the row sent beyond the server's size, -1: none
    qint64 reachedAtFailure_ = -1;
    bool retakeRow_ = false;    // the next UploadNextFile takes the current row again
    bool reconnecting_ = false; // a retry is logging in again
    bool runOpen_ = false;      // a run has started and its end is not reported yet
};

#pragma once
// The registration of uploads with the site: three blocking posts to the
// registration address (RegisterSiteUrl + "plugins/quellix_client/
// client_sub.php") through HttpPostFL, all answered in
// HttpPostFLRequestDone:
// - "postlist" announces the whole queue before a run; its accepted reply
//   sets PostListAccepted, and the run of that click takes exactly the
//   rows it announced;
// - "update" asks the site to take what has arrived on its FTP server into
//   the user's disk (end of every run, and "更新入库");
// - "resume" ("续传文件") asks for the announced files that have not fully
//   arrived; they replace the queue as "待续传" rows.

#include "net/httpcli.h"
#include "upload/uploadpresenter.h"
#include "upload/uploadqueue.h"
#include "upload/uploadsite.h"

#include <QByteArray>

// What became of a request for "update" or "resume": the site answered it
// with the action's own word, or why it did not.
struct SiteActionOutcome {
    enum class Kind {
        Confirmed,  // status 200 and the reply's first line is the action's word
        OtherReply, // status 200, another first line (in `reply`)
        Status,     // an HTTP status other than 200 (in `status`)
        TimedOut,   // no answer within the post's time limit
        Failed,     // the request failed (the error's text in `reply`)
    };
    Kind kind = Kind::Failed;
    int status = 0;
    QByteArray reply;  // GBK
    bool confirmed() const { return kind == Kind::Confirmed; }
};

// Why an action was not confirmed, for the status line ("HTTP 500",
// "请求超时", ...).
QString SiteActionFailureText(const SiteActionOutcome& outcome);

// The "fl" value of the queue: one entry per row, first to last, whatever
// the row's status or check box (a missing file is announced with the size
// -1).
QByteArray FileListValue(const UploadQueue& queue);

class UploadRegistration {
public:
    UploadRegistration(const UploadSite& site, UploadQueue& queue, UploadPresenter& presenter);

    // Announces the queue ("postlist"): marks the upload button busy and
    // posts the list; returns when the reply has been handled (or raises as
    // the blocking post does). With an empty queue nothing is posted and the
    // open dialog is offered instead.
    void PostFileList(const QByteArray& action);
    // The rows the last PostFileList put into its list, by row key, in row
    // order (empty when it posted nothing).
    const QList<quint64>& AnnouncedRows() const { return announced_; }
    // Posts "update" or "resume"; returns when the reply has been handled.
    void PostSubAction(const QByteArray& action);
    // Posts "update" at the end of a run and tells whether the site took
    // the uploads; never raises.
    SiteActionOutcome RegisterUploads();
    // What became of the last "update" or "resume" posted.
    const SiteActionOutcome& LastOutcome() const { return outcome_; }
    void HttpPostFLRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);
    // Takes the lines of a "resume" reply (the word "resume" first): the
    // listed files replace the queue as "待续传" rows, in one insertion.
    void TakeResumeReply(const QList<QByteArray>& lines);

    void N23Click() { PostSubAction("update"); }  // "更新入库"
    void N24Click() { PostSubAction("resume"); }  // "续传文件"

    THttpCli HttpPostFL{"HttpPostFL"};

private:
    void post(const QByteArray& action, const QByteArray& body);

    UploadSite site_;
    UploadQueue& queue_;
    UploadPresenter& presenter_;
    QList<quint64> announced_;
    QByteArray pendingAction_;  // the post waiting for its reply
    SiteActionOutcome outcome_;
};

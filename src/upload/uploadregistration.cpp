#include "upload/uploadregistration.h"

#include "login/siterequest.h"
#include "net/siteclient.h"
#include "platform/helperlib.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "text/sizetext.h"
#include "upload/filelist.h"

UploadRegistration::UploadRegistration(const UploadSite& site, UploadQueue& queue, UploadPresenter& presenter)
    : site_(site), queue_(queue), presenter_(presenter) {
    ApplySiteClientSettings(HttpPostFL);
    HttpPostFL.OnRequestDone = [this](THttpCli& sender, THttpRequest rqType, quint16 errCode) {
        HttpPostFLRequestDone(sender, rqType, errCode);
    };
}

QByteArray FileListValue(const UploadQueue& queue) {
    QByteArray list;
    for (int row = 0; row < queue.Count(); ++row) {
        // One size for both the remote name and the size field, so that
        // the entry is consistent even while the file is being written.
        const qint64 size = FileSizeByName(queue.FullPath(row));
        list += FileListEntry(ToGbk(queue.FileName(row)), ToGbk(queue.FolderPath(row)), size);
    }
    return list;
}

QString SiteActionFailureText(const SiteActionOutcome& outcome) {
    switch (outcome.kind) {
    case SiteActionOutcome::Kind::Confirmed: return {};
    case SiteActionOutcome::Kind::OtherReply:
        return QString::fromUtf8("站点回复“") + FromGbk(outcome.reply.left(80)) + QString::fromUtf8("”");
    case SiteActionOutcome::Kind::Status: return QStringLiteral("HTTP %1").arg(outcome.status);
    case SiteActionOutcome::Kind::TimedOut: return QString::fromUtf8("请求超时");
    case SiteActionOutcome::Kind::Failed: return FromGbk(outcome.reply);
    }
    return {};
}

// The reply of a post is judged in HttpPostFLRequestDone, which runs inside
// the blocking post; a post that gave up (its time limit) returns before
// its completion, which then finds no post waiting.
void UploadRegistration::post(const QByteArray& action, const QByteArray& body) {
    pendingAction_ = action;
    outcome_ = {SiteActionOutcome::Kind::TimedOut, 0, {}};
    try {
        PostSiteForm(HttpPostFL, ClientSubUrl(site_.SiteSettings.RegisterSiteUrl), body, SitePostMode::Blocking);
    } catch (const EHttpException& error) {
        // Refused before it started (busy): no reply will come.
        if (error.code() == HttpError::Busy || error.code() == HttpError::NothingToPost)
            outcome_ = {SiteActionOutcome::Kind::Failed, 0, error.message()};
        pendingAction_.clear();
        throw;
    }
    pendingAction_.clear();
}

void UploadRegistration::PostFileList(const QByteArray& action) {
    announced_.clear();
    if (queue_.Count() == 0) {
        if (action == "postlist" && presenter_.Confirm(QString::fromUtf8("请选择本地文件进行上传")))
            presenter_.AddLocalFiles();
        return;
    }
    presenter_.SetUploadBusy(true);
    // The rows as they stand when the list is built; rows added while the
    // post waits are not in it.
    const QByteArray list = FileListValue(queue_);
    announced_.reserve(queue_.Count());
    for (int row = 0; row < queue_.Count(); ++row)
        announced_.append(queue_.RowKey(row));
    post(action, PostFileListBody(action, list, site_.CurrentFolderId, site_.Session.AccountName,
                                  site_.Session.AccountToken));
}

void UploadRegistration::PostSubAction(const QByteArray& action) {
    post(action, SubActionBody(action, site_.Session.AccountName, site_.Session.AccountToken));
}

SiteActionOutcome UploadRegistration::RegisterUploads() {
    try {
        PostSubAction("update");
    } catch (const QxError& error) {
        // The outcome says what went wrong; a failure that ended the post
        // before its reply was judged is named by the error itself.
        if (outcome_.kind == SiteActionOutcome::Kind::Confirmed)
            outcome_ = {SiteActionOutcome::Kind::Failed, 0, error.message()};
    }
    return outcome_;
}

void UploadRegistration::HttpPostFLRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    const int status = sender.StatusCode();
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (!pendingAction_.isEmpty()) {
        // The outcome of the post waiting for this reply.
        if (errCode != 0)
            outcome_ = {SiteActionOutcome::Kind::Failed, 0,
                        sender.ReasonPhrase() + " (" + QByteArray::number(errCode) + ")"};
        else if (status != 200)
            outcome_ = {SiteActionOutcome::Kind::Status, status, {}};
        else if (lines && !lines->isEmpty() && lines->first() == pendingAction_)
            outcome_ = {SiteActionOutcome::Kind::Confirmed, status, lines->first()};
        else
            outcome_ = {SiteActionOutcome::Kind::OtherReply, status, lines && !lines->isEmpty() ? lines->first() : ""};
        pendingAction_.clear();
    }
    if (!lines)
        return;
    if (lines->isEmpty())
        throw EStringListError("List index out of bounds (0)");
    const QByteArray& word = lines->first();
    if (word == "update") {
        presenter_.ShowStatus(QString::fromUtf8("提示:上传文件入库成功"), false);
    } else if (word == "resume") {
        TakeResumeReply(*lines);
    } else if (word == "postlist") {
        site_.PostListAccepted = true;
    }
}

void UploadRegistration::TakeResumeReply(const QList<QByteArray>& lines) {
    queue_.Clear();
    site_.UploadFinished = false;
    if (lines.size() < 2) {
        presenter_.ShowStatus(QString::fromUtf8("提示:暂无待续传文件"), false);
        return;
    }
    QStringList refused;
    const auto nameRefused = [&] {
        if (!refused.isEmpty())
            presenter_.Inform(UnsupportedNameMessage(refused));
    };
    try {
        // One insertion for the whole list; it also ends when a line fails.
        const UploadQueue::Batch batch(queue_);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const ResumeEntry entry = ParseResumeLine(lines[i]);
            const QString name = FromGbk(entry.fileName);
            if (!queue_.AddResumeRow(name, FromGbk(SizeText(entry.size)), FromGbk(entry.folderPath)))
                refused.append(name);
        }
    } catch (...) {
        // A bad line ends the list; the rows read so far stay, and the
        // refused ones are still named before the error is reported.
        nameRefused();
        throw;
    }
    nameRefused();
}

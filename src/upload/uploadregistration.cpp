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

void UploadRegistration::post(const QByteArray& body) {
    PostSiteForm(HttpPostFL, ClientSubUrl(site_.SiteSettings.RegisterSiteUrl), body, SitePostMode::Blocking);
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
    post(PostFileListBody(action, list, site_.CurrentFolderId, site_.Session.AccountName,
                          site_.Session.AccountToken));
}

void UploadRegistration::PostSubAction(const QByteArray& action) {
    post(SubActionBody(action, site_.Session.AccountName, site_.Session.AccountToken));
}

void UploadRegistration::HttpPostFLRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
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

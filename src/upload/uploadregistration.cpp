#include "upload/uploadregistration.h"

#include "login/siterequest.h"
#include "net/siteclient.h"
#include "platform/gui/msgdlg.h"
#include "platform/helperlib.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "text/sizetext.h"
#include "upload/filelist.h"

#include <QPushButton>

UploadRegistration::UploadRegistration(UploadWindow& window, UploadQueue& queue, UploadQueueCommands& commands)
    : w_(window), queue_(queue), commands_(commands) {
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
    PostSiteForm(HttpPostFL, ClientSubUrl(w_.SiteSettings.RegisterSiteUrl), body, SitePostMode::Blocking);
}

void UploadRegistration::PostFileList(const QByteArray& action) {
    announced_.clear();
    if (queue_.Count() == 0) {
        if (action == "postlist" &&
            w_.MsgDlg.MessageDlg(QString::fromUtf8("请选择本地文件进行上传"), TMsgDlgType::mtInformation,
                                 TMsgDlgButtons::mbOKCancel, w_.DialogParent) == TModalResult::mrOk)
            commands_.AddLocalFiles();
        return;
    }
    w_.btnUpload.setText(QString::fromUtf8("上传中..."));
    w_.btnUpload.setEnabled(false);
    // The rows as they stand when the list is built; rows added while the
    // post waits are not in it.
    const QByteArray list = FileListValue(queue_);
    announced_.reserve(queue_.Count());
    for (int row = 0; row < queue_.Count(); ++row)
        announced_.append(queue_.RowKey(row));
    post(PostFileListBody(action, list, w_.CurrentFolderId, w_.Session.AccountName, w_.Session.AccountToken));
}

void UploadRegistration::PostSubAction(const QByteArray& action) {
    post(SubActionBody(action, w_.Session.AccountName, w_.Session.AccountToken));
}

void UploadRegistration::HttpPostFLRequestDone(THttpCli& sender, THttpRequest, quint16 errCode) {
    const std::optional<QList<QByteArray>> lines = TakeSiteReply(sender, errCode);
    if (!lines)
        return;
    if (lines->isEmpty())
        throw EStringListError("List index out of bounds (0)");
    const QByteArray& word = lines->first();
    if (word == "update") {
        w_.ShowStatus(QString::fromUtf8("提示:上传文件入库成功"));
    } else if (word == "resume") {
        takeResumeList(*lines);
    } else if (word == "postlist") {
        w_.PostListAccepted = true;
    }
}

void UploadRegistration::takeResumeList(const QList<QByteArray>& lines) {
    queue_.Clear();
    w_.UploadFinished = false;
    if (lines.size() < 2) {
        w_.ShowStatus(QString::fromUtf8("提示:暂无待续传文件"));
        return;
    }
    QStringList refused;
    const auto nameRefused = [&] {
        if (!refused.isEmpty())
            w_.MsgDlg.MessageDlg(UnsupportedNameMessage(refused), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK,
                                 w_.DialogParent);
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

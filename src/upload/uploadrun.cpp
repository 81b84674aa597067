#include "upload/uploadrun.h"

#include "config/debuglog.h"
#include "platform/gui/msgdlg.h"
#include "platform/helperlib.h"
#include "text/convert.h"
#include "text/gbk.h"
#include "upload/filelist.h"

#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray NamePart(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }
}  // namespace

UploadRun::UploadRun(UploadWindow& window, UploadQueue& queue, UploadRegistration& registration)
    : w_(window), queue_(queue), registration_(registration) {
    ftp1.Timeout = 15;
    ftp1.Options = ftpAcceptLF;
    ftp1.ShareMode = ftpShareExclusive;
    // The log-in and the files go over TLS whenever the server offers it.
    ftp1.TlsMode = TFtpTlsMode::IfOffered;
    ftp1.OnRequestDone = [this](TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
        ftp1RequestDone(sender, rqType, errCode);
    };
    ftp1.OnProgress64 = [this](TFtpClient& sender, qint64 count, bool& abort) { ftp1Progress64(sender, count, abort); };
}

void UploadRun::enableUpload() {
    w_.btnUpload.setText(u("上传文件"));
    w_.btnUpload.setEnabled(true);
}

void UploadRun::btnUploadClick() {
    if (w_.UploadFinished) {
        if (queue_.Count() > 0 &&
            w_.MsgDlg.MessageDlg(u("上传队列中的文件已经上传，清空上传列表？"), TMsgDlgType::mtInformation,
                                 TMsgDlgButtons::mbOKCancel, w_.DialogParent) == TModalResult::mrOk) {
            queue_.Clear();
            w_.UploadFinished = false;
        }
        return;
    }
    // Until Open is called the button must come back, also when the post
    // or the passive flag raises; from Open on the run owns it.
    openCalled_ = false;
    struct GiveBackUnlessOpened {
        UploadRun& run;
        ~GiveBackUnlessOpened() {
            if (!run.openCalled_)
                run.enableUpload();
        }
    } giveBack{*this};

    registration_.PostFileList("postlist");
    if (!w_.PostListAccepted) {
        w_.ShowStatus(u("服务器连接失败..."));
        return;
    }
    CurrentIndex = -1;
    RemoteSize = 0;
    ConnectFtp();
}

void UploadRun::ConnectFtp() {
    const TSiteSettings& s = w_.SiteSettings;
    ftp1.HostName = s.FtpHost;
    ftp1.UserName = s.FtpUser;
    ftp1.Port = s.FtpPort;
    ftp1.PassWord = s.FtpPassword;
    ftp1.HostDirName = s.FtpDir;
    ftp1.Passive = StrToBool(s.FtpPassive);
    ftp1.Binary = true;
    // A run that failed may have left the control connection open; Open
    // would refuse it ("already connected") until the server timed it out.
    if (ftp1.Connected())
        ftp1.Abort();
    openCalled_ = true;
    ftp1.Open();
    if (CurrentFileName.isEmpty())
        w_.ShowStatus(u("服务器连接中..."));
    w_.btnCancel.setEnabled(!w_.UploadFinished);
    // A server whose certificate does not verify is not taken for the
    // site's: the run has stopped without sending the password, and the
    // user is told why.
    if (!ftp1.TlsFailure().isEmpty())
        throw FtpException(ToGbk(u("无法与 FTP 服务器 ")) + ftp1.HostName + ToGbk(u(" 建立加密连接：")) +
                           ftp1.TlsFailure() + ToGbk(u("。上传已停止。")));
}

void UploadRun::ftp1RequestDone(TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
    WriteDebugLogEntry(w_.Files, w_.Session.DebugLogEnabled,
                       {"Request " + FtpRequestShortName(rqType) + " Done.",
                        "StatusCode = " + QByteArray::number(sender.StatusCode()),
                        "LastResponse was : '" + sender.LastResponse() + "'", "###-------------------"});
    if (errCode == 0 && rqType == ftpOpenAsync && sender.TlsActive())
        WriteDebugLogEntry(w_.Files, w_.Session.DebugLogEnabled,
                           {"TLS in use: " + sender.TlsDescription() + ", certificate verified for " +
                            sender.HostName});
    if (errCode == 0) {
        switch (rqType) {
        // Each log-in step waits for the next, and the rest of the run,
        // whose completions test for the end themselves, happens inside that
        // wait. At this completion the run had not begun (CurrentIndex is
        // -1), so the end-of-run test below belongs to the completions
        // inside; repeating it when the wait returns would register the
        // uploads once more per log-in step.
        case ftpOpenAsync: ftp1.User(); return;
        case ftpUserAsync: ftp1.Pass(); return;
        case ftpPassAsync: ftp1.Cwd(); return;
        case ftpCwdAsync: ftp1.TypeSet(); return;
        case ftpTypeSetAsync: UploadNextFile(); break;
        case ftpPutAsync:
            settleCurrentRow(QueueStatus::Succeeded());
            UploadNextFile();
            break;
        default: break;
        }
    } else if (rqType == ftpPutAsync || rqType == ftpRestPutAsync) {
        settleCurrentRow(QueueStatus::Failed());
    }
    // Runs after every other completion: after the last store it ends the
    // run, and so it does after QUIT's completion, which comes inside the
    // wait of Quit called from that store's completion. "update" is
    // therefore posted twice, which is what sites served by this client
    // receive.
    if (CurrentIndex >= queue_.Count())
        endOfRunSteps();
}

void UploadRun::endOfRunSteps() {
    enableUpload();
    w_.btnAbort.setEnabled(false);
    registration_.PostSubAction("update");
    w_.ShowStatus(u("全部文件上传成功"));
    w_.UploadFinished = true;
}

void UploadRun::settleCurrentRow(const QString& status) {
    if (CurrentIndex >= 0 && CurrentIndex < queue_.Count() && queue_.Status(CurrentIndex) == QueueStatus::Uploading())
        queue_.SetStatus(CurrentIndex, status);
}

void UploadRun::UploadNextFile() {
    // Rows that need no transfer (missing files, files the server holds
    // whole) are passed over in this loop rather than by a call per row, so
    // that a long queue of them does not grow the stack.
    for (;;) {
        ++CurrentIndex;
        if (CurrentIndex >= queue_.Count()) {
            w_.ShowStatus(u("全部文件上传结束。"));
            ftp1.Quit();
            return;
        }
        w_.UploadFinished = false;
        const QString path = queue_.FullPath(CurrentIndex);
        const QByteArray gbkPath = ToGbk(path);
        ftp1.LocalFileName = path;
        LocalSize = FileSizeByName(path);
        CurrentRemoteName = RemoteFileName(gbkPath, LocalSize);
        CurrentFileName = FromGbk(NamePart(gbkPath));
        queue_.MarkTaken(CurrentIndex);
        if (!QFileInfo(path).isFile()) {
            queue_.SetStatus(CurrentIndex, QueueStatus::FileMissing());
            continue;
        }
        queue_.SetStatus(CurrentIndex, QueueStatus::Uploading());

        RemoteSize = GetRemoteFileSize(CurrentRemoteName);
        if (!ftp1.Connected()) {
            // The connection went while SIZE waited (pause, time-out, the
            // server closed it): the run stops here.
            settleCurrentRow(QueueStatus::Failed());
            return;
        }
        setGauge(RemoteSize);
        if (RemoteSize > 0 && RemoteSize < LocalSize) {
            ftp1.LocalFileName = path;
            ftp1.HostFileName = CurrentRemoteName;
            ftp1.ResumeAt = RemoteSize;
            ftp1.RestPutAsync();
            return;
        }
        if (RemoteSize > 0) {
            w_.ShowStatus(u("【") + CurrentFileName + u("】 已存在，跳过此文件"));
            queue_.SetStatus(CurrentIndex, QueueStatus::Succeeded());
            continue;
        }
        ftp1.LocalFileName = path;
        ftp1.HostFileName = CurrentRemoteName;
        ftp1.PutAsync();
        return;
    }
}

qint64 UploadRun::GetRemoteFileSize(const QByteArray& remoteName) {
    ftp1.HostFileName = NamePart(remoteName);
    return ftp1.Size() ? ftp1.SizeResult() : 0;
}

void UploadRun::setGauge(qint64 count) {
    // An empty file is complete as soon as it is there.
    const qint64 percent = LocalSize > 0 ? count * 100 / LocalSize : 100;
    w_.pb1.setValue(int(std::clamp<qint64>(percent, 0, 100)));
}

void UploadRun::ftp1Progress64(TFtpClient&, qint64 count, bool&) {
    setGauge(count);
    w_.ShowStatus(u("【") + CurrentFileName + u("】文件上传中..."));
    if (w_.pb1.value() > 0)
        w_.btnAbort.setEnabled(true);
}

void UploadRun::btnAbortClick() {
    if (ftp1.Connected())
        ftp1.Abort();
    // The row being sent waits for the next run, which continues it.
    if (CurrentIndex >= 0 && CurrentIndex < queue_.Count() && queue_.Status(CurrentIndex) == QueueStatus::Uploading())
        queue_.SetStatus(CurrentIndex, QueueStatus::ToResume());
    enableUpload();
    w_.ShowStatus(u("文件上传已暂停"));
    w_.btnAbort.setEnabled(false);
}

void UploadRun::btnCancelClick() {
    enableUpload();
    w_.ShowStatus(u("文件上传已取消"));
    w_.btnCancel.setEnabled(false);
}

#include "upload/uploadrun.h"

#include "config/debuglog.h"
#include "net/ftpfailure.h"
#include "platform/helperlib.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray NamePart(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }
}  // namespace

UploadRun::UploadRun(const UploadSite& site, UploadQueue& queue, UploadRegistration& registration,
                     UploadPresenter& presenter)
    : site_(site), queue_(queue), registration_(registration), presenter_(presenter) {
    ftp1.Timeout = 15;
    ftp1.Options = ftpAcceptLF;
    ftp1.ShareMode = ftpShareExclusive;
    // The log-in and the files go over TLS whenever the server offers it.
    ftp1.TlsMode = TFtpTlsMode::IfOffered;
    ftp1.OnRequestDone = [this](TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
        ftp1RequestDone(sender, rqType, errCode);
    };
    ftp1.OnProgress64 = [this](TFtpClient& sender, qint64 count, bool& abort) { ftp1Progress64(sender, count, abort); };
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, [this] {
        RunGuarded([&] {
            // Whatever happens inside, the run rests again when it returns.
            struct Settle {
                UploadPresenter& presenter;
                ~Settle() { presenter.RunEnded(); }
            } settle{presenter_};
            retryNow();
            if (!retryTimer_.isActive())
                reportRunOver();
        });
    });
}

void UploadRun::enableUpload() { presenter_.SetUploadBusy(false); }

void UploadRun::btnUploadClick() {
    if (site_.UploadFinished) {
        if (queue_.Count() > 0 && presenter_.Confirm(u("上传队列中的文件已经上传，清空上传列表？"))) {
            queue_.Clear();
            site_.UploadFinished = false;
        }
        return;
    }
    // Until Open is called the button must come back, also when the post
    // or the passive flag raises; from Open on the run owns it.
    openCalled_ = false;
    // When the click returns, the run has come to rest (or waits for a
    // retry): what it reported is shown.
    struct GiveBackUnlessOpened {
        UploadRun& run;
        ~GiveBackUnlessOpened() {
            if (!run.openCalled_)
                run.enableUpload();
            else if (!run.retryTimer_.isActive())
                run.reportRunOver();
            run.presenter_.RunEnded();
        }
    } giveBack{*this};

    // Only the announcement of this click counts: an earlier accepted one
    // says nothing about the rows queued now.
    site_.PostListAccepted = false;
    registration_.PostFileList("postlist");
    if (!site_.PostListAccepted) {
        showStatus(u("服务器连接失败..."));
        return;
    }
    runRows_ = registration_.AnnouncedRows();
    runPosition_ = -1;
    currentRow_ = 0;
    CurrentIndex = -1;
    RemoteSize = 0;
    retakeRow_ = false;
    reconnecting_ = false;
    runOpen_ = true;
    ConnectFtp();
}

void UploadRun::ConnectFtp() {
    const TSiteSettings& s = site_.SiteSettings;
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
        showStatus(u("服务器连接中..."));
    presenter_.SetCancelEnabled(!site_.UploadFinished);
    // A server whose certificate does not verify is not taken for the
    // site's: the run has stopped without sending the password, and the
    // user is told why.
    if (!ftp1.TlsFailure().isEmpty())
        throw FtpException(ToGbk(u("无法与 FTP 服务器 ")) + ftp1.HostName + ToGbk(u(" 建立加密连接：")) +
                           ftp1.TlsFailure() + ToGbk(u("。上传已停止。")));
}

void UploadRun::ftp1RequestDone(TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
    WriteDebugLogEntry(site_.Files, site_.Session.DebugLogEnabled,
                       {"Request " + FtpRequestShortName(rqType) + " Done.",
                        "StatusCode = " + QByteArray::number(sender.StatusCode()),
                        "LastResponse was : '" + sender.LastResponse() + "'", "###-------------------"});
    if (errCode == 0 && rqType == ftpOpenAsync && sender.TlsActive())
        WriteDebugLogEntry(site_.Files, site_.Session.DebugLogEnabled,
                           {"TLS in use: " + sender.TlsDescription() + ", certificate verified for " +
                            sender.HostName});
    if (errCode == 0) {
        switch (rqType) {
        // Each log-in step waits for the next, and the rest of the run,
        // whose completions test for the end themselves, happens inside that
        // wait. At this completion the run had not begun (no row taken
        // yet), so the end-of-run test below belongs to the completions
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
    } else if (rqType == ftpPutAsync || rqType == ftpRestPutAsync || reconnecting_) {
        // A store, or the log-in of a retry, failed.
        if (!scheduleRetry(errCode)) {
            reconnecting_ = false;
            settleCurrentRow(QueueStatus::Failed());
        }
    }
    // Runs after every other completion: after the last store it ends the
    // run, and so it does after QUIT's completion, which comes inside the
    // wait of Quit called from that store's completion. "update" is
    // therefore posted twice, which is what sites served by this client
    // receive.
    if (pastLastRow())
        endOfRunSteps();
}

bool UploadRun::scheduleRetry(quint16 errCode) {
    if (!currentRowUploading())
        return false;
    if (!IsTransientFtpFailure(errCode, ftp1.LastResponse()))
        return false;
    const bool progressed = rowReached_ > reachedAtFailure_;
    reachedAtFailure_ = rowReached_;
    presenter_.SetAbortEnabled(true);
    if (progressed) {
        // The connection carried the file further: connect again at once.
        retriesUsed_ = 0;
        showStatus(u("【") + CurrentFileName + u("】连接中断，重新连接中..."));
        retryTimer_.start(0);
        return true;
    }
    if (retriesUsed_ >= RetryDelaysMs.size())
        return false;
    const int delay = RetryDelaysMs[retriesUsed_++];
    showStatus(u("【") + CurrentFileName + u("】连接中断，") + QString::number(delay / 1000.0, 'g', 3) +
                  u("秒后第") + QString::number(retriesUsed_) + u("次重试..."));
    retryTimer_.start(delay);
    return true;
}

void UploadRun::retryNow() {
    if (!currentRowUploading())
        return;
    retakeRow_ = true;
    reconnecting_ = true;
    try {
        ConnectFtp();
    } catch (...) {
        // A certificate failure: reported by the caller, the row has failed.
        reconnecting_ = false;
        settleCurrentRow(QueueStatus::Failed());
        throw;
    }
    // Open could not even start (no completion follows): the row has failed.
    if (reconnecting_ && !retryTimer_.isActive() && !ftp1.Connected()) {
        reconnecting_ = false;
        settleCurrentRow(QueueStatus::Failed());
    }
}

void UploadRun::endOfRunSteps() {
    enableUpload();
    presenter_.SetAbortEnabled(false);
    registration_.PostSubAction("update");
    showStatus(u("全部文件上传成功"));
    // Rows added while the run went on were not part of it (they follow the
    // announced ones): the queue as it stands has not been uploaded whole,
    // and the next click starts a run for them.
    const bool rowsAddedMeanwhile =
        queue_.Count() > 0 && (runRows_.isEmpty() || queue_.RowKey(queue_.Count() - 1) > runRows_.last());
    site_.UploadFinished = !rowsAddedMeanwhile;
    reportRunOver();
    presenter_.RunEnded();
}

void UploadRun::reportRunOver() {
    if (!runOpen_)
        return;
    runOpen_ = false;
    int files = 0;
    int failed = 0;
    for (const quint64 key : runRows_) {
        const int row = queue_.FindRow(key);
        if (row < 0)
            continue;  // deleted while the run went on
        ++files;
        if (queue_.Status(row) != QueueStatus::Succeeded())
            ++failed;
    }
    if (OnRunOver)
        OnRunOver(files, failed);
}

bool UploadRun::currentRowUploading() const {
    const int row = queue_.FindRow(currentRow_);
    return row >= 0 && queue_.Status(row) == QueueStatus::Uploading();
}

void UploadRun::settleCurrentRow(const QString& status) {
    const int row = queue_.FindRow(currentRow_);
    if (row >= 0 && queue_.Status(row) == QueueStatus::Uploading()) {
        queue_.SetStatus(row, status);
        presenter_.FileEnded(row);
    }
}

void UploadRun::UploadNextFile() {
    // Rows that need no transfer (missing files, files the server holds
    // whole) are passed over in this loop rather than by a call per row, so
    // that a long queue of them does not grow the stack.
    reconnecting_ = false;
    for (;;) {
        // A retry takes the row it broke off again.
        if (!std::exchange(retakeRow_, false)) {
            ++runPosition_;
            retriesUsed_ = 0;
            rowReached_ = -1;
            reachedAtFailure_ = -1;
        }
        if (pastLastRow()) {
            showStatus(u("全部文件上传结束。"));
            ftp1.Quit();
            return;
        }
        currentRow_ = runRows_[runPosition_];
        CurrentIndex = queue_.FindRow(currentRow_);
        if (CurrentIndex < 0)
            continue;  // deleted by the user meanwhile
        site_.UploadFinished = false;
        const QString path = queue_.FullPath(CurrentIndex);
        const QByteArray gbkPath = ToGbk(path);
        ftp1.LocalFileName = path;
        LocalSize = FileSizeByName(path);
        CurrentRemoteName = RemoteFileName(gbkPath, LocalSize);
        CurrentFileName = FromGbk(NamePart(gbkPath));
        // The row taken is selected and checked; other selected rows stay so.
        // Only this row's check box changes: a run over a long queue would
        // otherwise walk every row once per row.
        presenter_.RowTaken(CurrentIndex);
        queue_.SetChecked(CurrentIndex, true);
        if (!QFileInfo(path).isFile()) {
            queue_.SetStatus(CurrentIndex, QueueStatus::FileMissing());
            presenter_.FileEnded(CurrentIndex);
            continue;
        }
        queue_.SetStatus(CurrentIndex, QueueStatus::Uploading());

        RemoteSize = GetRemoteFileSize(CurrentRemoteName);
        if (!ftp1.Connected()) {
            // The connection went while SIZE waited (pause, time-out, the
            // server closed it): the row is tried again later, or the run
            // stops here.
            if (!scheduleRetry(quint16(ftp1.StatusCode())))
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
            showStatus(u("【") + CurrentFileName + u("】 已存在，跳过此文件"), true);
            settleCurrentRow(QueueStatus::Succeeded());  // the row may have moved while SIZE waited
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
    gauge_ = int(std::clamp<qint64>(percent, 0, 100));
    presenter_.ShowGauge(gauge_);
    presenter_.ShowBytes(count, LocalSize);
}

void UploadRun::ftp1Progress64(TFtpClient&, qint64 count, bool&) {
    if (count > RemoteSize)
        rowReached_ = std::max(rowReached_, count);
    setGauge(count);
    showStatus(u("【") + CurrentFileName + u("】文件上传中..."), true);
    if (gauge_ > 0)
        presenter_.SetAbortEnabled(true);
}

void UploadRun::btnAbortClick() {
    runOpen_ = false;  // the user stopped it: nothing to tell
    retryTimer_.stop();
    reconnecting_ = false;
    if (ftp1.Connected())
        ftp1.Abort();
    // The row being sent waits for the next run, which continues it.
    settleCurrentRow(QueueStatus::ToResume());
    enableUpload();
    showStatus(u("文件上传已暂停"));
    presenter_.SetAbortEnabled(false);
    presenter_.RunEnded();
}

void UploadRun::btnCancelClick() {
    runOpen_ = false;
    if (retryTimer_.isActive()) {
        retryTimer_.stop();
        settleCurrentRow(QueueStatus::Failed());
    }
    reconnecting_ = false;
    enableUpload();
    showStatus(u("文件上传已取消"));
    presenter_.SetCancelEnabled(false);
    presenter_.RunEnded();
}

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
    // The log-in and the files go over TLS whenever the server offers it;
    // a server that once did is never used without it again.
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
        });
    });
}

void UploadRun::setStep(UploadStep step) {
    step_ = step;
    // Every way a run comes to rest for good passes here.
    if (step == UploadStep::Idle)
        reportRunOver();
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
            run.presenter_.RunEnded();
        }
    } giveBack{*this};

    // A retry of an earlier run that is still pending has no place in this
    // one, nor has its end a notice of its own.
    runOpen_ = false;
    retryTimer_.stop();
    setStep(UploadStep::Idle);
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
    registered_ = Registered::NotYet;
    runOpen_ = true;
    setStep(UploadStep::Connecting);
    ConnectFtp();
    // Open could not even start, or a log-in step could not (no completion
    // follows): the run has stopped before any row.
    if (step_ == UploadStep::Connecting && !ftp1.IsBusy())
        setStep(UploadStep::Idle);
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
    const int cancels = cancels_;
    ftp1.Open();
    // A "取消" inside the wait has given the button back already.
    if (cancels_ == cancels) {
        if (CurrentFileName.isEmpty())
            showStatus(u("服务器连接中..."));
        presenter_.SetCancelEnabled(!site_.UploadFinished);
    }
    // A server whose certificate does not verify is not taken for the
    // site's: the run has stopped without sending the password, and the
    // user is told why.
    if (!ftp1.TlsFailure().isEmpty())
        throw FtpException(ToGbk(u("无法与 FTP 服务器 ")) + ftp1.HostName + ToGbk(u(" 建立加密连接：")) +
                           ftp1.TlsFailure() + ToGbk(u("。上传已停止。")));
    // Likewise a proxy that is down or refuses the client: named.
    if (!ftp1.Connected() && !ftp1.ProxyFailure().isEmpty())
        throw FtpException(ftp1.ProxyFailure() + ToGbk(u("。上传已停止。")));
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
    switch (step_) {
    case UploadStep::Connecting:
    case UploadStep::Reconnecting:
        // Each log-in step waits for the next, and the rest of the run,
        // whose completions test for the end themselves, happens inside that
        // wait. At these completions the run had not begun (no row taken
        // yet), so the end-of-run test below belongs to the completions
        // inside; repeating it when the wait returns would register the
        // uploads once more per log-in step.
        logInStepDone(rqType, errCode);
        if (errCode == 0 && rqType != ftpTypeSetAsync)
            return;
        break;
    case UploadStep::Storing:
        if (rqType == ftpPutAsync || rqType == ftpRestPutAsync)
            storeDone(errCode);
        break;
    default:
        // SIZE judges its own outcome when its wait returns; completions of
        // a run that was paused, cancelled or has failed change nothing.
        break;
    }
    // After the last store the run ends, and so it does after QUIT's
    // completion, which comes inside the wait of Quit called from that
    // store's completion. "update" is therefore posted twice, which is what
    // sites served by this client receive. The outer of the two ends the
    // run; a late completion after it finds the run idle.
    if (step_ == UploadStep::Quitting) {
        endOfRunSteps();
        if (rqType != ftpQuitAsync)
            setStep(UploadStep::Idle);
    }
}

void UploadRun::logInStepDone(TFtpRequest rqType, quint16 errCode) {
    const bool logInRequest = rqType == ftpOpenAsync || rqType == ftpUserAsync || rqType == ftpPassAsync ||
                              rqType == ftpCwdAsync || rqType == ftpTypeSetAsync;
    if (!logInRequest)
        return;  // a late completion of what came before this connection
    if (errCode != 0) {
        if (step_ == UploadStep::Connecting) {
            // The run's own connection failed: it stops before any row, as
            // a failed log-in always did.
            setStep(UploadStep::Idle);
            return;
        }
        tryFailed(errCode, TryFailure::LogIn);
        return;
    }
    switch (rqType) {
    case ftpOpenAsync: ftp1.User(); break;
    case ftpUserAsync: ftp1.Pass(); break;
    case ftpPassAsync: ftp1.Cwd(); break;
    case ftpCwdAsync: ftp1.TypeSet(); break;
    case ftpTypeSetAsync: UploadNextFile(); break;
    default: break;
    }
}

void UploadRun::storeDone(quint16 errCode) {
    if (errCode != 0) {
        tryFailed(errCode, TryFailure::Store);
        return;
    }
    settleCurrentRow(QueueStatus::Succeeded());
    UploadNextFile();
}

void UploadRun::tryFailed(quint16 errCode, TryFailure kind) {
    const bool rowGone = !currentRowUploading();
    if (rowGone && kind == TryFailure::Store && ftp1.Connected() && !ftp1.IsBusy()) {
        // The user deleted the row while it was being sent: it is passed
        // over, and the run goes on on this connection.
        UploadNextFile();
        return;
    }
    // A deleted row's store that broke the connection: the run connects
    // again to go on with the next row, under the same rules.
    const bool transient = kind == TryFailure::ConnectionLost || (rowGone && kind == TryFailure::Store) ||
                           IsTransientFtpFailure(errCode, ftp1.LastResponse(), ftp1.FailedCommand());
    if (transient && scheduleRetry())
        return;
    failRow(FromGbk(ftp1.LastResponse()));
}

bool UploadRun::scheduleRetry() {
    const bool progressed = rowReached_ > reachedAtFailure_;
    reachedAtFailure_ = rowReached_;
    if (progressed) {
        // The connection carried the file further: connect again at once.
        retriesUsed_ = 0;
        setStep(UploadStep::WaitingToRetry);
        presenter_.SetAbortEnabled(true);
        showStatus(u("【") + CurrentFileName + u("】连接中断，重新连接中..."));
        retryTimer_.start(0);
        return true;
    }
    if (retriesUsed_ >= RetryDelaysMs.size())
        return false;
    const int delay = RetryDelaysMs[retriesUsed_++];
    setStep(UploadStep::WaitingToRetry);
    presenter_.SetAbortEnabled(true);
    showStatus(u("【") + CurrentFileName + u("】连接中断，") + QString::number(delay / 1000.0, 'g', 3) +
               u("秒后第") + QString::number(retriesUsed_) + u("次重试..."));
    retryTimer_.start(delay);
    return true;
}

void UploadRun::retryNow() {
    if (step_ != UploadStep::WaitingToRetry)
        return;
    // The row is taken again if it is still there; a row deleted meanwhile
    // is passed over.
    retakeRow_ = true;
    setStep(UploadStep::Reconnecting);
    try {
        ConnectFtp();
    } catch (...) {
        // A certificate failure: reported by the caller, the row has failed.
        failRow(QString());
        throw;
    }
    // Open could not even start, or a log-in step could not (no completion
    // follows): the row has failed. A wait that gave up (the server never
    // greeted, the handshake never ended) leaves its completion to come
    // from the event loop, and the retry rules take it then.
    if (step_ == UploadStep::Reconnecting && !ftp1.IsBusy())
        failRow(FromGbk(ftp1.ErrorMessage()));
}

void UploadRun::failRow(const QString& reason) {
    setStep(UploadStep::Idle);
    presenter_.SetAbortEnabled(false);  // nothing left to pause
    const int row = queue_.FindRow(currentRow_);
    if (row < 0 || queue_.Status(row) != QueueStatus::Uploading())
        return;
    queue_.SetStatus(row, QueueStatus::Failed());
    if (!reason.isEmpty())
        showStatus(u("【") + CurrentFileName + u("】上传失败：") + reason);
    presenter_.FileEnded(row);
}

void UploadRun::endOfRunSteps() {
    enableUpload();
    presenter_.SetAbortEnabled(false);
    // A registration the site refused is not asked for again in this run
    // (a second refusal would only double the wait); one it confirmed is
    // posted again, as always.
    if (registered_ != Registered::Failed) {
        const SiteActionOutcome outcome = registration_.RegisterUploads();
        if (registered_ == Registered::NotYet) {
            registrationOutcome_ = outcome;
            registered_ = outcome.confirmed() ? Registered::Confirmed : Registered::Failed;
        }
    }
    if (registered_ == Registered::Failed) {
        // The files are on the FTP server, but not in the user's disk: the
        // queue is not taken for uploaded, and the next "上传文件" skips
        // what the server holds and registers again.
        showStatus(u("上传文件入库失败：") + SiteActionFailureText(registrationOutcome_));
        site_.UploadFinished = false;
        presenter_.RunEnded();
        return;
    }
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
    for (;;) {
        // A retry takes the row it broke off again, unless the user deleted
        // it meanwhile.
        if (!std::exchange(retakeRow_, false) || !currentRowUploading()) {
            ++runPosition_;
            retriesUsed_ = 0;
            rowReached_ = -1;
            reachedAtFailure_ = -1;
        }
        if (pastLastRow()) {
            setStep(UploadStep::Quitting);
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

        setStep(UploadStep::Sizing);
        RemoteSize = GetRemoteFileSize(CurrentRemoteName);
        if (step_ != UploadStep::Sizing)
            return;  // paused or cancelled while SIZE waited
        if (!ftp1.Connected()) {
            // The connection went while SIZE waited (time-out, the server
            // closed it): the row is tried again, or the run stops here.
            tryFailed(quint16(ftp1.StatusCode()), TryFailure::ConnectionLost);
            return;
        }
        setGauge(RemoteSize);
        if (RemoteSize > 0 && RemoteSize < LocalSize) {
            startStore(path, RemoteSize);
            return;
        }
        if (RemoteSize > 0) {
            showStatus(u("【") + CurrentFileName + u("】 已存在，跳过此文件"), true);
            settleCurrentRow(QueueStatus::Succeeded());  // the row may have moved while SIZE waited
            continue;
        }
        startStore(path, 0);
        return;
    }
}

void UploadRun::startStore(const QString& path, qint64 resumeAt) {
    ftp1.LocalFileName = path;
    ftp1.HostFileName = CurrentRemoteName;
    ftp1.ResumeAt = resumeAt;
    setStep(UploadStep::Storing);
    try {
        if (resumeAt > 0)
            ftp1.RestPutAsync();
        else
            ftp1.PutAsync();
    } catch (const QxError& error) {
        // The store could not start (active mode over IPv6, no local port to
        // listen on): no completion follows. Another try would fail alike.
        failRow(FromGbk(error.message()));
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
    setStep(UploadStep::Idle);
    // Also a connection still being resolved or made: after "暂停" nothing
    // more goes out.
    if (ftp1.Connected() || ftp1.IsBusy())
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
    ++cancels_;
    // A pending retry, waiting or already connecting again, is given up:
    // its row has failed.
    if (step_ == UploadStep::WaitingToRetry || step_ == UploadStep::Reconnecting) {
        retryTimer_.stop();
        if (step_ == UploadStep::Reconnecting)
            ftp1.Abort();
        failRow(QString());
    }
    enableUpload();
    showStatus(u("文件上传已取消"));
    presenter_.SetCancelEnabled(false);
    presenter_.RunEnded();
}

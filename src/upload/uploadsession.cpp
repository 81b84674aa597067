#include "upload/uploadsession.h"

#include "config/debuglog.h"
#include "net/ftpfailure.h"
#include "platform/helperlib.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"
#include "upload/uploadrun.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray NamePart(const QByteArray& path) { return path.mid(path.lastIndexOf('/') + 1); }
}  // namespace

UploadSession::UploadSession(UploadRun& run, TFtpClient& client, int index) : ftp(client), Index(index), run_(run) {
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, [this] {
        RunGuarded([&] {
            // Whatever happens inside, the run rests again when it returns.
            struct Settle {
                UploadPresenter& presenter;
                ~Settle() { presenter.RunEnded(); }
            } settle{run_.presenter()};
            const int cancels = run_.cancels_;
            retryNow();
            // Outside a run's wait (the click has returned), the retry waits
            // here for the run to rest again, as the click did.
            if (!run_.waiting_) {
                run_.waitForRest();
                run_.afterRest(cancels);
            }
        });
    });
}

void UploadSession::setStep(UploadStep step) { step_ = step; }

bool UploadSession::Active() const {
    switch (step_) {
    case UploadStep::Connecting:
    case UploadStep::Reconnecting:
    case UploadStep::Sizing:
    case UploadStep::Storing:
    case UploadStep::Quitting: return true;
    default: return false;
    }
}

QByteArray UploadSession::TakeStopReason() {
    if (stopReasonTaken_)
        return QByteArray();
    QByteArray why;
    // A server whose certificate does not verify is not taken for the
    // site's: the run has stopped without sending the password.
    if (!ftp.TlsFailure().isEmpty())
        why = ToGbk(u("无法与 FTP 服务器 ")) + ftp.HostName + ToGbk(u(" 建立加密连接：")) + ftp.TlsFailure();
    else if (!ftp.Connected() && !ftp.ProxyFailure().isEmpty())
        why = ftp.ProxyFailure();
    if (why.isEmpty())
        return why;
    stopReasonTaken_ = true;
    return why + ToGbk(u("。上传已停止。"));
}

// "【name】" + the text; a session that holds no file (it was asking the
// queue's sizes) says the text alone.
QString UploadSession::named(const char* utf8Text) const {
    const QString text = u(utf8Text);
    return fileName_.isEmpty() ? text.mid(1) : u("【") + fileName_ + text;
}

bool UploadSession::Connect(bool retry) {
    const TSiteSettings& s = run_.site().SiteSettings;
    ftp.HostName = s.FtpHost;
    ftp.UserName = s.FtpUser;
    ftp.Port = s.FtpPort;
    ftp.PassWord = s.FtpPassword;
    ftp.HostDirName = s.FtpDir;
    ftp.Passive = StrToBool(s.FtpPassive);
    ftp.Binary = true;
    // A run that failed may have left the control connection open; Open
    // would refuse it ("already connected") until the server timed it out.
    if (ftp.Connected() || ftp.IsBusy())
        ftp.Abort();
    stopReasonTaken_ = false;
    sizingQueue_ = false;
    waitsForSizes_ = false;
    setStep(retry ? UploadStep::Reconnecting : UploadStep::Connecting);
    try {
        ftp.OpenAsync();
    } catch (const QxError&) {
        // Open could not even start: no completion follows.
        if (retry) {
            FailRow(FromGbk(ftp.ErrorMessage()));
        } else {
            setStep(UploadStep::Idle);
            run_.sessionStopped(Index == 0);
        }
        return false;
    }
    return true;
}

void UploadSession::RequestDone(TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
    run_.logCompletion(sender, rqType);
    if (errCode == 0 && rqType == ftpOpenAsync && sender.TlsActive())
        WriteDebugLogEntry(run_.site().Files, run_.site().Session.DebugLogEnabled,
                           {"TLS in use: " + sender.TlsDescription() + ", certificate verified for " +
                            sender.HostName});
    switch (step_) {
    case UploadStep::Connecting:
    case UploadStep::Reconnecting: logInStepDone(rqType, errCode); break;
    case UploadStep::Sizing:
        if (rqType == ftpSizeAsync && sizingQueue_)
            queueSizesDone(errCode);
        else if (rqType == ftpSizeAsync)
            sizeDone(errCode);
        break;
    case UploadStep::Storing:
        if (rqType == ftpPutAsync || rqType == ftpRestPutAsync)
            storeDone(errCode);
        break;
    default:
        // Completions of a session that was paused, cancelled, has failed
        // or has left change nothing.
        break;
    }
    run_.completionHandled(*this, rqType);
}

void UploadSession::logInStepDone(TFtpRequest rqType, quint16 errCode) {
    const bool logInRequest = rqType == ftpOpenAsync || rqType == ftpUserAsync || rqType == ftpPassAsync ||
                              rqType == ftpCwdAsync || rqType == ftpTypeSetAsync;
    if (!logInRequest)
        return;  // a late completion of what came before this connection
    if (errCode != 0) {
        logInFailed(errCode);
        return;
    }
    try {
        switch (rqType) {
        case ftpOpenAsync: ftp.UserAsync(); break;
        case ftpUserAsync: ftp.PassAsync(); break;
        case ftpPassAsync: ftp.CwdAsync(); break;
        case ftpCwdAsync: ftp.TypeSetAsync(); break;
        case ftpTypeSetAsync:
            if (step_ == UploadStep::Connecting) {
                setStep(UploadStep::Done);  // logged in; NextFile takes a row
                run_.sessionLoggedIn(*this);
                if (Index == 0 && run_.sizesPending()) {
                    sizeQueue();
                    break;
                }
            }
            NextFile();
            break;
        default: break;
        }
    } catch (const QxError&) {
        // A log-in step that could not start (an empty user name, say): no
        // completion follows.
        logInFailed(quint16(500));
    }
}

void UploadSession::logInFailed(quint16 errCode) {
    if (step_ == UploadStep::Reconnecting) {
        tryFailed(errCode, TryFailure::LogIn);
        return;
    }
    setStep(UploadStep::Idle);
    if (Index > 0) {
        // Another session than the first: the server may take no more; the
        // run goes on with those it has.
        run_.extraSessionRefused(*this, errCode);
        return;
    }
    // The run's own connection failed: it stops before any row, as a
    // failed log-in always did.
    run_.sessionStopped(true);
}

void UploadSession::NextFile() {
    // Rows that need no transfer (missing files) are passed over in this
    // loop rather than by a call per row, so that a long queue of them does
    // not grow the stack.
    for (;;) {
        // A retry takes the row it broke off again, unless the user deleted
        // it meanwhile.
        if (!std::exchange(retakeRow_, false) || !rowUploading()) {
            if (run_.rowsAwaitSizes()) {
                // Woken by the run once the next rows' sizes are known.
                waitsForSizes_ = true;
                row_ = 0;
                setStep(UploadStep::Done);
                return;
            }
            waitsForSizes_ = false;
            row_ = run_.takeRow();
            retriesUsed_ = 0;
            rowReached_ = -1;
            reachedAtFailure_ = -1;
            inFlight_ = 0;
            if (row_ == 0 && checked_.row) {
                askSizes();  // the check of the last file stored
                return;
            }
            if (row_ == 0) {
                setStep(UploadStep::Done);
                run_.maybeEnd();
                return;
            }
        }
        UploadQueue& queue = run_.queue();
        const int index = queue.FindRow(row_);
        if (index < 0)
            continue;  // deleted by the user meanwhile
        path_ = queue.FullPath(index);
        const QByteArray gbkPath = ToGbk(path_);
        ftp.LocalFileName = path_;
        localSize_ = FileSizeByName(path_);
        remoteName_ = RemoteFileName(gbkPath, localSize_);
        fileName_ = FromGbk(NamePart(gbkPath));
        run_.rowTaken(*this);
        // The row taken is selected and checked; other selected rows stay so.
        // Only this row's check box changes: a run over a long queue would
        // otherwise walk every row once per row.
        run_.presenter().RowTaken(index);
        queue.SetChecked(index, true);
        if (!QFileInfo(path_).isFile()) {
            queue.SetStatus(index, QueueStatus::FileMissing());
            run_.presenter().FileEnded(index);
            run_.rowEnded(0);
            continue;
        }
        queue.SetStatus(index, QueueStatus::Uploading());
        const qint64 known = run_.knownSize(row_);
        // In active mode the check of the file stored before goes on its own
        // with this file's SIZE: pyftpdlib, given PORT right behind a SIZE,
        // at times never answers the PORT.
        if (known == UploadRun::kSizeUnknown || (checked_.row && !ftp.Passive)) {
            askSizes();
            return;
        }
        // The size was learned before the stores: no SIZE now.
        remoteSize_ = std::max<qint64>(0, known);
        if (remoteSize_ > 0 && remoteSize_ >= localSize_) {
            run_.showStatus(named("】 已存在，跳过此文件"), true);
            settleRow(QueueStatus::Succeeded());
            run_.rowEnded(localSize_);
            continue;
        }
        sizeKnown();
        return;
    }
}

void UploadSession::sizeQueue() {
    const QList<QByteArray> names = run_.nextSizeBatch(batchRows_);
    if (names.isEmpty()) {
        sizingQueue_ = false;
        NextFile();
        return;
    }
    sizingQueue_ = true;
    setStep(UploadStep::Sizing);
    try {
        ftp.SizesAsync(names);
    } catch (const QxError&) {
        queueSizesDone(500);
    }
}

void UploadSession::queueSizesDone(quint16 errCode) {
    sizingQueue_ = false;
    if (errCode != 0 || !ftp.Connected()) {
        // A server that could not take the SIZE commands at once (or the
        // connection went): the rest of the sizes are asked per file, and
        // this session connects again.
        run_.stopSizing();
        setStep(UploadStep::WaitingToRetry);
        if (!scheduleRetry()) {
            setStep(UploadStep::Idle);
            run_.sessionStopped();
        }
        return;
    }
    run_.sizesLearned(batchRows_, ftp.SizeResults());
    if (run_.sizesPending())
        sizeQueue();
    else
        NextFile();
}

void UploadSession::askSizes() {
    setStep(UploadStep::Sizing);
    try {
        if (!checked_.row) {
            ftp.HostFileName = NamePart(remoteName_);
            ftp.SizeAsync();
            return;
        }
        QList<QByteArray> names{checked_.remoteName};
        if (row_)
            names.append(NamePart(remoteName_));
        ftp.SizesAsync(names);
    } catch (const QxError&) {
        // The connection has gone (the server closed it while idle): the
        // row is tried again, or the run stops here.
        remoteSize_ = 0;
        sizesDone(quint16(ftp.StatusCode() ? ftp.StatusCode() : 500));
    }
}

void UploadSession::sizesDone(quint16 errCode) {
    if (errCode != 0 || !ftp.Connected()) {
        // The file stored before is taken again later; SIZE then tells how
        // much of it the server holds.
        if (checked_.row) {
            run_.giveBack(checked_.row);
            fileName_ = row_ ? fileName_ : checked_.fileName;
            checked_ = {};
        }
        if (row_) {
            tryFailed(errCode ? errCode : quint16(ftp.StatusCode()), TryFailure::ConnectionLost);
        } else if (!scheduleRetry()) {
            setStep(UploadStep::Idle);
            run_.sessionStopped();
        }
        return;
    }
    const QList<qint64>& sizes = ftp.SizeResults();
    qsizetype at = 0;
    if (checked_.row) {
        checkStored(sizes.value(at++, -1));
        checked_ = {};
    }
    if (!row_) {
        NextFile();  // a file that came short is taken again, else the rows have run out
        return;
    }
    remoteSize_ = std::max<qint64>(0, sizes.value(at, 0));
    sizeKnown();
}

// A 226 is not proof: a server may take a data connection the network cut
// for the end of the file. The size on the server tells.
bool UploadSession::checkStored(qint64 sizeOnServer) {
    if (sizeOnServer < 0 || sizeOnServer == checked_.size) {
        // Equal, or a server that reports no sizes (nothing to check by).
        settle(checked_.row, QueueStatus::Succeeded());
        run_.rowEnded(checked_.size);
        return true;
    }
    run_.showStatus(u("【") + checked_.fileName + u("】服务器上的文件不完整，继续上传..."));
    run_.storeCameShort(checked_.row);
    return false;
}

void UploadSession::sizeDone(quint16 errCode) {
    if (checked_.row) {
        sizesDone(errCode);
        return;
    }
    // A server that does not know the file, or SIZE, reports none: the file
    // goes from the start.
    remoteSize_ = errCode == 0 ? ftp.SizeResult() : 0;
    if (!ftp.Connected()) {
        // The connection went while SIZE waited (time-out, the server
        // closed it): the row is tried again, or the run stops here.
        tryFailed(quint16(ftp.StatusCode()), TryFailure::ConnectionLost);
        return;
    }
    sizeKnown();
}

void UploadSession::sizeKnown() {
    inFlight_ = std::clamp<qint64>(remoteSize_, 0, std::max<qint64>(localSize_, 0));
    run_.presenter().ShowBytes(remoteSize_, localSize_);
    run_.showGauge();
    if (remoteSize_ > 0 && remoteSize_ < localSize_) {
        startStore(remoteSize_);
        return;
    }
    if (remoteSize_ > 0) {
        run_.showStatus(named("】 已存在，跳过此文件"), true);
        settleRow(QueueStatus::Succeeded());  // the row may have moved while SIZE waited
        run_.rowEnded(localSize_);
        inFlight_ = 0;
        NextFile();
        return;
    }
    startStore(0);
}

void UploadSession::startStore(qint64 resumeAt) {
    ftp.LocalFileName = path_;
    ftp.HostFileName = remoteName_;
    ftp.ResumeAt = resumeAt;
    // The check of the file stored before goes with this store's first
    // command.
    ftp.SizeBeforeStore = checked_.row ? checked_.remoteName : QByteArray();
    // One file at a time: the next file's SIZE goes out while this one is
    // sent, so its answer is there when this store ends.
    ftp.SizeDuringStore = run_.ChecksStores() ? QByteArray() : run_.peekNextRemoteName();
    setStep(UploadStep::Storing);
    try {
        if (resumeAt > 0)
            ftp.RestPutAsync();
        else
            ftp.PutAsync();
    } catch (const QxError& error) {
        // The store could not start (active mode over IPv6, no local port to
        // listen on): no completion follows. Another try would fail alike.
        ftp.SizeBeforeStore.clear();
        if (checked_.row) {
            run_.giveBack(checked_.row);
            checked_ = {};
        }
        FailRow(FromGbk(error.message()));
    }
}

void UploadSession::resolveCheck() {
    if (!checked_.row)
        return;
    if (ftp.CheckAnswered()) {
        checkStored(ftp.CheckedSize());
    } else {
        run_.giveBack(checked_.row);  // its size is asked again when it is taken
    }
    checked_ = {};
}

void UploadSession::storeDone(quint16 errCode) {
    resolveCheck();
    if (errCode != 0) {
        tryFailed(errCode, TryFailure::Store);
        return;
    }
    if (run_.ChecksStores()) {
        // Counted as sent once the server's size says so, asked together
        // with the next file's.
        checked_ = {row_, NamePart(remoteName_), localSize_, fileName_};
        inFlight_ = 0;
        NextFile();
        return;
    }
    settleRow(QueueStatus::Succeeded());
    run_.rowEnded(localSize_);
    inFlight_ = 0;
    NextFile();
}

void UploadSession::Progress(qint64 count) {
    if (count > remoteSize_)
        rowReached_ = std::max(rowReached_, count);
    inFlight_ = std::clamp<qint64>(count, 0, std::max<qint64>(localSize_, 0));
    run_.presenter().ShowBytes(count, localSize_);
    run_.sessionProgress(*this);
}

void UploadSession::tryFailed(quint16 errCode, TryFailure kind) {
    const bool rowGone = !rowUploading();
    if (rowGone && kind == TryFailure::Store && ftp.Connected() && !ftp.IsBusy()) {
        // The user deleted the row while it was being sent: it is passed
        // over, and the session goes on on this connection.
        NextFile();
        return;
    }
    // A deleted row's store that broke the connection: the session connects
    // again to go on with the next row, under the same rules.
    const bool transient = kind == TryFailure::ConnectionLost || (rowGone && kind == TryFailure::Store) ||
                           IsTransientFtpFailure(errCode, ftp.LastResponse(), ftp.FailedCommand());
    if (transient && scheduleRetry())
        return;
    FailRow(FromGbk(ftp.LastResponse()));
}

bool UploadSession::scheduleRetry() {
    const bool progressed = rowReached_ > reachedAtFailure_;
    reachedAtFailure_ = rowReached_;
    if (progressed) {
        // The connection carried the file further: connect again at once.
        retriesUsed_ = 0;
        setStep(UploadStep::WaitingToRetry);
        run_.presenter().SetAbortEnabled(true);
        run_.showStatus(named("】连接中断，重新连接中..."));
        retryTimer_.start(0);
        return true;
    }
    if (retriesUsed_ >= run_.RetryDelaysMs.size())
        return false;
    const int delay = run_.RetryDelaysMs[retriesUsed_++];
    setStep(UploadStep::WaitingToRetry);
    run_.presenter().SetAbortEnabled(true);
    run_.showStatus(named("】连接中断，") + QString::number(delay / 1000.0, 'g', 3) + u("秒后第") +
                    QString::number(retriesUsed_) + u("次重试..."));
    retryTimer_.start(delay);
    return true;
}

void UploadSession::retryNow() {
    if (step_ != UploadStep::WaitingToRetry)
        return;
    // The row is taken again if it is still there; a row deleted meanwhile
    // is passed over.
    retakeRow_ = true;
    Connect(true);
}

void UploadSession::FailRow(const QString& reason) {
    retryTimer_.stop();
    setStep(UploadStep::Idle);
    UploadQueue& queue = run_.queue();
    const int index = queue.FindRow(row_);
    if (index >= 0 && queue.Status(index) == QueueStatus::Uploading()) {
        queue.SetStatus(index, QueueStatus::Failed());
        if (!reason.isEmpty())
            run_.showStatus(named("】上传失败：") + reason);
        run_.presenter().FileEnded(index);
    }
    run_.rowFailed();
}

bool UploadSession::rowUploading() const {
    const UploadQueue& queue = run_.queue();
    const int index = queue.FindRow(row_);
    return index >= 0 && queue.Status(index) == QueueStatus::Uploading();
}

void UploadSession::settleRow(const QString& status) { settle(row_, status); }

void UploadSession::settle(quint64 row, const QString& status) {
    UploadQueue& queue = run_.queue();
    const int index = queue.FindRow(row);
    if (index >= 0 && queue.Status(index) == QueueStatus::Uploading()) {
        queue.SetStatus(index, status);
        run_.presenter().FileEnded(index);
    }
}

void UploadSession::Pause() {
    retryTimer_.stop();
    const bool held = HoldsRow();
    setStep(UploadStep::Idle);
    // Also a connection still being resolved or made: after "暂停" nothing
    // more goes out.
    if (ftp.Connected() || ftp.IsBusy())
        ftp.Abort();
    // The row being sent waits for the next run, which continues it; so
    // does one whose store is not checked yet.
    if (held)
        settleRow(QueueStatus::ToResume());
    if (checked_.row)
        settle(checked_.row, QueueStatus::ToResume());
    checked_ = {};
}

void UploadSession::Cancel() {
    if (step_ != UploadStep::WaitingToRetry && step_ != UploadStep::Reconnecting)
        return;
    retryTimer_.stop();
    if (step_ == UploadStep::Reconnecting)
        ftp.Abort();
    FailRow(QString());
}

void UploadSession::QuitAtEnd() {
    setStep(UploadStep::Quitting);
    ftp.Quit();
    run_.finishRun(*this);
}

void UploadSession::QuitQuietly() {
    setStep(UploadStep::Idle);
    if (!ftp.Connected() || ftp.IsBusy())
        return;
    try {
        ftp.QuitAsync();
    } catch (const QxError&) {
        ftp.Abort();
    }
}

void UploadSession::Drop() {
    retryTimer_.stop();
    setStep(UploadStep::Idle);
    row_ = 0;
    checked_ = {};
    inFlight_ = 0;
}

#include "upload/uploadrun.h"

#include "config/debuglog.h"
#include "net/nestedwait.h"
#include "net/socketerror.h"
#include "platform/helperlib.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"

#include <QFileInfo>
#include <algorithm>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The reply of a server that takes no more sessions from this client: 421
// (RFC 959: service not available, closing), or a 530 that says why.
bool IsSessionLimitReply(int code, const QByteArray& text) {
    if (code == 421)
        return true;
    if (code != 530)
        return false;
    const QByteArray lower = text.toLower();
    return lower.contains("too many") || lower.contains("connections") || lower.contains("maximum number") ||
           lower.contains("limit");
}
}  // namespace

UploadRun::UploadRun(const UploadSite& site, UploadQueue& queue, UploadRegistration& registration,
                     UploadPresenter& presenter)
    : site_(site), queue_(queue), registration_(registration), presenter_(presenter) {
    ftp1.Timeout = 15;
    ftp1.Options = ftpAcceptLF;
    ftp1.ShareMode = ftpShareExclusive;
    // The log-in and the files go over TLS whenever the server offers it;
    // a server that once did is never used without it again, by any session.
    ftp1.TlsMode = TFtpTlsMode::IfOffered;
    ftp1.TlsServers = &tlsServers_;
    ftp1.TimeLimitAsync = true;
    sessions_.push_back(std::make_unique<UploadSession>(*this, ftp1, 0));
    ftp1.OnRequestDone = [this](TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
        sessions_[0]->RequestDone(sender, rqType, errCode);
    };
    ftp1.OnProgress64 = [this](TFtpClient&, qint64 count, bool&) { sessions_[0]->Progress(count); };
}

UploadRun::~UploadRun() = default;

// The one place where the clients of the sessions are made: each has the
// settings of ftp1.
TFtpClient& UploadRun::sessionClient(int index) {
    if (index == 0)
        return ftp1;
    while (int(clients_.size()) < index) {
        auto client = std::make_unique<TFtpClient>();
        const int at = int(clients_.size()) + 1;
        client->OnRequestDone = [this, at](TFtpClient& sender, TFtpRequest rqType, quint16 errCode) {
            sessions_[at]->RequestDone(sender, rqType, errCode);
        };
        client->OnProgress64 = [this, at](TFtpClient&, qint64 count, bool&) { sessions_[at]->Progress(count); };
        clients_.push_back(std::move(client));
    }
    TFtpClient& client = *clients_[index - 1];
    configureClient(client);
    return client;
}

void UploadRun::configureClient(TFtpClient& client) {
    client.Timeout = ftp1.Timeout;
    client.Options = ftp1.Options;
    client.ShareMode = ftp1.ShareMode;
    client.TlsMode = ftp1.TlsMode;
    client.TlsServers = ftp1.TlsServers;
    client.ExtraCaCertificates = ftp1.ExtraCaCertificates;
    client.TimeLimitAsync = ftp1.TimeLimitAsync;
    client.DataPortRangeStart = ftp1.DataPortRangeStart;
    client.DataPortRangeEnd = ftp1.DataPortRangeEnd;
    client.LocalAddr = ftp1.LocalAddr;
    client.ConnectionType = ftp1.ConnectionType;
    client.Connector = ftp1.Connector;
    client.OnStateChange = ftp1.OnStateChange;
    client.OnDisplay = ftp1.OnDisplay;
}

UploadSession& UploadRun::session(int index) {
    while (int(sessions_.size()) <= index) {
        const int at = int(sessions_.size());
        sessions_.push_back(std::make_unique<UploadSession>(*this, sessionClient(at), at));
    }
    if (index > 0)
        configureClient(sessions_[index]->ftp);
    return *sessions_[index];
}

bool UploadRun::anySessionActive() const {
    for (int i = 0; i < sessionsInRun_; ++i)
        if (sessions_[i]->Active())
            return true;
    return false;
}

QByteArray UploadRun::serverKey() const {
    return site_.SiteSettings.FtpHost.toLower() + ":" + site_.SiteSettings.FtpPort.trimmed();
}

int UploadRun::SessionLimit(const QByteArray& host, const QByteArray& port) const {
    return sessionLimits_.value(host.toLower() + ":" + port.trimmed(), 0);
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
    for (int i = 0; i < sessionsInRun_; ++i)
        sessions_[i]->Drop();
    running_ = false;
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
    registered_ = Registered::NotYet;
    halted_ = false;
    spread_ = false;
    loggedIn_ = 0;
    sessionRefused_ = false;
    quitting_ = nullptr;
    runBytes_ = 0;
    bytesDone_ = 0;
    for (const quint64 key : runRows_) {
        const int row = queue_.FindRow(key);
        if (row >= 0)
            runBytes_ += std::max<qint64>(0, FileSizeByName(queue_.FullPath(row)));
    }
    givenBack_.clear();
    shortStores_.clear();
    sizes_.clear();
    sizedUpTo_ = 0;
    const int limit = sessionLimits_.value(serverKey(), 0);
    sessionsWanted_ = std::clamp(ParallelUploads, 1, 8);
    checksStores_ = sessionsWanted_ > 1;
    if (limit > 0)
        sessionsWanted_ = std::min(sessionsWanted_, limit);
    sessionsInRun_ = 1;
    runOpen_ = true;
    running_ = true;
    ConnectFtp();
}

void UploadRun::ConnectFtp() {
    // A passive flag that is no boolean ends the click before any
    // connection, the button given back.
    try {
        StrToBool(site_.SiteSettings.FtpPassive);
    } catch (...) {
        running_ = false;
        runOpen_ = false;
        throw;
    }
    UploadSession& first = session(0);
    openCalled_ = true;
    pausedSinceOpen_ = false;
    const int cancels = cancels_;
    if (first.Connect(false))
        waitForRest();
    afterRest(cancels);
}

void UploadRun::waitForRest() {
    if (waiting_ || !anySessionActive())
        return;
    waiting_ = true;
    struct Leave {
        bool& waiting;
        ~Leave() { waiting = false; }
    } leave{waiting_};
    // Each session's client keeps its own time limit; this wait only ends
    // when none of them has a request running.
    WaitWhileProcessingEvents([this] { return !anySessionActive(); }, nullptr);
}

void UploadRun::afterRest(int cancelsBefore) {
    // A "取消" inside the wait has given the button back already.
    if (cancels_ == cancelsBefore) {
        if (CurrentFileName.isEmpty()) {
            // A run that has come to rest before it took a row failed to
            // connect or log in: the status says so and why, rather than
            // that it is still connecting.
            const TFtpClient& first = sessions_[0]->ftp;
            if (!pausedSinceOpen_ && !anySessionActive() && first.StatusCode() >= 400)
                showStatus(u("服务器连接失败：") + FromGbk(first.LastResponse()));
            else
                showStatus(u("服务器连接中..."));
        }
        presenter_.SetCancelEnabled(!site_.UploadFinished);
    }
    // A session that could not reach the server safely (a certificate that
    // does not verify, a proxy that is down) has stopped the run, and the
    // user is told why.
    for (int i = 0; i < sessionsInRun_; ++i) {
        UploadSession& s = *sessions_[i];
        if (s.Active())
            continue;
        const QByteArray why = s.TakeStopReason();
        if (why.isEmpty())
            continue;
        if (s.HoldsRow())
            s.FailRow(QString());
        halted_ = true;
        maybeEnd();
        throw FtpException(why);
    }
}

void UploadRun::logCompletion(TFtpClient& sender, TFtpRequest rqType) {
    WriteDebugLogEntry(site_.Files, site_.Session.DebugLogEnabled,
                       {"Request " + FtpRequestShortName(rqType) + " Done.",
                        "StatusCode = " + QByteArray::number(sender.StatusCode()),
                        "LastResponse was : '" + sender.LastResponse() + "'", "###-------------------"});
}

void UploadRun::completionHandled(UploadSession& session, TFtpRequest rqType) {
    // After the last row the run ends with QUIT, and the end-of-run steps
    // come once inside QUIT's wait, at its completion, and once more when
    // that wait returns (finishRun). "update" is therefore posted twice,
    // which is what sites served by this client receive.
    if (quitting_ == &session && session.Step() == UploadStep::Quitting && rqType == ftpQuitAsync)
        endOfRunSteps();
}

void UploadRun::finishRun(UploadSession& session) {
    if (quitting_ != &session)
        return;  // paused or started anew inside QUIT's wait
    endOfRunSteps();
    quitting_ = nullptr;
    session.Drop();
    running_ = false;
    reportRunOver();
}

void UploadRun::sessionLoggedIn(UploadSession& session) {
    ++loggedIn_;
    noteSessionLimit();
    if (spread_ || session.Index != 0)
        return;
    spread_ = true;
    // The other sessions, as many as there are rows left besides the one
    // the first session takes now.
    const qsizetype rowsLeft = runRows_.size() - (runPosition_ + 1);
    const int others = int(std::min<qsizetype>(sessionsWanted_ - 1, std::max<qsizetype>(0, rowsLeft - 1)));
    for (int i = 1; i <= others; ++i) {
        UploadSession& extra = this->session(i);
        sessionsInRun_ = i + 1;
        extra.Connect(false);
    }
}

quint64 UploadRun::takeRow() {
    if (halted_)
        return 0;
    while (!givenBack_.isEmpty()) {
        const quint64 key = givenBack_.takeFirst();
        const int row = queue_.FindRow(key);
        if (row >= 0 && queue_.Status(row) == QueueStatus::Queued())
            return key;
    }
    while (runPosition_ + 1 < runRows_.size()) {
        const quint64 key = runRows_[++runPosition_];
        if (queue_.FindRow(key) >= 0)
            return key;  // else deleted by the user meanwhile
    }
    return 0;
}

QList<QByteArray> UploadRun::nextSizeBatch(QList<quint64>& rows) {
    // Batches bound what waits in the server's and this side's buffers.
    constexpr qsizetype kBatch = 200;
    QList<QByteArray> names;
    rows.clear();
    while (sizedUpTo_ < runRows_.size() && names.size() < kBatch) {
        const quint64 key = runRows_[sizedUpTo_++];
        const int row = queue_.FindRow(key);
        if (row < 0)
            continue;
        const QString path = queue_.FullPath(row);
        const QByteArray remote = RemoteFileName(ToGbk(path), FileSizeByName(path));
        names.append(remote.mid(remote.lastIndexOf('/') + 1));
        rows.append(key);
    }
    return names;
}

void UploadRun::sizesLearned(const QList<quint64>& rows, const QList<qint64>& sizes) {
    for (qsizetype i = 0; i < rows.size() && i < sizes.size(); ++i)
        sizes_.insert(rows[i], sizes[i]);
    // Sessions that logged in meanwhile and found no row known yet go on.
    for (int i = 0; i < sessionsInRun_; ++i)
        if (sessions_[i]->Step() == UploadStep::Done && sessions_[i]->WaitsForSizes())
            sessions_[i]->NextFile();
}

void UploadRun::stopSizing() {
    sizedUpTo_ = runRows_.size();
    for (int i = 0; i < sessionsInRun_; ++i)
        if (sessions_[i]->Step() == UploadStep::Done && sessions_[i]->WaitsForSizes())
            sessions_[i]->NextFile();
}

QByteArray UploadRun::peekNextRemoteName() const {
    if (halted_ || !givenBack_.isEmpty())
        return {};
    for (qsizetype i = runPosition_ + 1; i < runRows_.size(); ++i) {
        const int row = queue_.FindRow(runRows_[i]);
        if (row < 0)
            continue;
        const QString path = queue_.FullPath(row);
        if (!QFileInfo(path).isFile())
            continue;  // a missing file gets no SIZE
        const QByteArray remote = RemoteFileName(ToGbk(path), FileSizeByName(path));
        return remote.mid(remote.lastIndexOf('/') + 1);
    }
    return {};
}

void UploadRun::giveBack(quint64 key) {
    const int row = queue_.FindRow(key);
    if (row < 0 || queue_.Status(row) != QueueStatus::Uploading())
        return;  // deleted meanwhile, or settled by a pause
    queue_.SetStatus(row, QueueStatus::Queued());
    sizes_.remove(key);  // its size is asked again
    givenBack_.append(key);
}

void UploadRun::storeCameShort(quint64 key) {
    constexpr int kShortStoresPerRow = 3;
    if (++shortStores_[key] <= kShortStoresPerRow) {
        giveBack(key);
        return;
    }
    const int row = queue_.FindRow(key);
    if (row < 0 || queue_.Status(row) != QueueStatus::Uploading())
        return;
    queue_.SetStatus(row, QueueStatus::Failed());
    presenter_.FileEnded(row);
    halted_ = true;  // as for any row that failed for good
}

void UploadRun::rowTaken(UploadSession& session) {
    CurrentFileName = session.FileName();
    site_.UploadFinished = false;
}

void UploadRun::rowEnded(qint64 bytes) {
    bytesDone_ += std::max<qint64>(0, bytes);
    showGauge();
}

void UploadRun::showGauge() {
    qint64 done = bytesDone_;
    for (int i = 0; i < sessionsInRun_; ++i)
        done += sessions_[i]->BytesInFlight();
    // An empty run is complete as soon as it is there.
    const qint64 percent = runBytes_ > 0 ? done * 100 / runBytes_ : 100;
    gauge_ = int(std::clamp<qint64>(percent, 0, 100));
    presenter_.ShowGauge(gauge_);
    presenter_.ShowRunBytes(std::min(done, runBytes_), runBytes_);
}

void UploadRun::sessionProgress(UploadSession& session) {
    showGauge();
    int sending = 0;
    for (int i = 0; i < sessionsInRun_; ++i)
        sending += sessions_[i]->Step() == UploadStep::Storing ? 1 : 0;
    if (sending > 1)
        showStatus(u("【") + session.FileName() + u("】等") + QString::number(sending) + u("个文件上传中..."), true);
    else
        showStatus(u("【") + session.FileName() + u("】文件上传中..."), true);
    if (gauge_ > 0)
        presenter_.SetAbortEnabled(true);
}

void UploadRun::rowFailed() {
    halted_ = true;
    presenter_.SetAbortEnabled(false);  // nothing left to pause
    maybeEnd();
}

void UploadRun::sessionStopped(bool runFails) {
    if (runFails)
        halted_ = true;
    maybeEnd();
}

// When no session holds a row or is logging in any more, the run ends: with
// QUIT and the registration when every row was handed out, or at rest where
// it stopped when a row failed for good.
void UploadRun::maybeEnd() {
    if (!running_ || quitting_)
        return;
    UploadSession* last = nullptr;
    for (int i = 0; i < sessionsInRun_; ++i) {
        UploadSession& s = *sessions_[i];
        if (s.HoldsRow() || s.Step() == UploadStep::Connecting)
            return;
        if (s.Step() == UploadStep::Done && !last)
            last = &s;
    }
    // The sessions that ran out of rows leave; the last of them ends the run.
    for (int i = 0; i < sessionsInRun_; ++i)
        if (sessions_[i].get() != last && sessions_[i]->Step() == UploadStep::Done)
            sessions_[i]->QuitQuietly();
    if (halted_ || !last) {
        if (last)
            last->QuitQuietly();
        running_ = false;
        reportRunOver();
        return;
    }
    quitting_ = last;
    showStatus(u("全部文件上传结束。"));
    last->QuitAtEnd();
}

void UploadRun::extraSessionRefused(UploadSession& session, quint16 errCode) {
    // The first session has logged in before the others open, so a refused
    // connection is the server's limit too.
    const bool refusedConnect = errCode == WinSock::ConnectionRefused && loggedIn_ > 0;
    if (refusedConnect || IsSessionLimitReply(session.ftp.StatusCode(), session.ftp.LastResponse()))
        sessionRefused_ = true;
    session.Drop();
    noteSessionLimit();
    maybeEnd();
}

// The sessions a limiting server took are those that logged in; counted
// once no other is still logging in.
void UploadRun::noteSessionLimit() {
    if (!sessionRefused_)
        return;
    for (int i = 0; i < sessionsInRun_; ++i)
        if (sessions_[i]->Step() == UploadStep::Connecting)
            return;
    const QByteArray key = serverKey();
    const int took = std::max(1, loggedIn_);
    const int known = sessionLimits_.value(key, 0);
    sessionLimits_.insert(key, known > 0 ? std::min(known, took) : took);
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

void UploadRun::btnAbortClick() {
    runOpen_ = false;  // the user stopped it: nothing to tell
    pausedSinceOpen_ = true;
    running_ = false;
    // Every session, also one whose connection is still being resolved or
    // made: after "暂停" nothing more goes out.
    for (int i = 0; i < sessionsInRun_; ++i)
        sessions_[i]->Pause();
    quitting_ = nullptr;
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
    for (int i = 0; i < sessionsInRun_; ++i)
        sessions_[i]->Cancel();
    if (!anySessionActive())
        running_ = false;
    enableUpload();
    showStatus(u("文件上传已取消"));
    presenter_.SetCancelEnabled(false);
    presenter_.RunEnded();
}

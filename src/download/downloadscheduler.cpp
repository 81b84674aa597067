#include "download/downloadscheduler.h"

#include "disk/remotelisting.h"
#include "download/downloadtarget.h"
#include "download/partfile.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <utility>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

bool isWaiting(const DownloadRow& row) { return row.State == RowState::Waiting; }

}  // namespace

DownloadScheduler::DownloadScheduler(const SiteSession& session, DownloadPresenter& presenter, QString queueFile,
                                     QObject* parent)
    : QObject(parent), session_(session), presenter_(presenter), queueFile_(std::move(queueFile)) {
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] { RunGuarded([&] { tick(); }); });
    saveSoon_.setSingleShot(true);
    connect(&saveSoon_, &QTimer::timeout, this, [this] { SaveQueue(); });
    clock_.start();
}

DownloadScheduler::~DownloadScheduler() {
    // Sessions stop without a word; their states are as last saved.
    for (auto& [key, session] : sessions_)
        session->OnEnded = nullptr;
    sessions_.clear();
}

void DownloadScheduler::SetOptions(int parallel, int connections) {
    parallel_ = std::clamp(parallel, 1, 8);
    connections_ = std::clamp(connections, 1, 8);
    schedule();
}

std::unique_ptr<TMultipartHttpDownloader> DownloadScheduler::newDownloader() {
    auto downloader = std::make_unique<TMultipartHttpDownloader>();
    downloader->RangeCount = connections_;
    downloader->Connector = Connector;
    if (ConfigureDownloader)
        ConfigureDownloader(*downloader);
    return downloader;
}

int DownloadScheduler::WaitingCount() const {
    return int(std::count_if(Queue.Rows().begin(), Queue.Rows().end(), isWaiting));
}

FileDownload* DownloadScheduler::SessionOf(int row) const {
    if (row < 0 || row >= Queue.Count())
        return nullptr;
    const auto found = sessions_.find(Queue.Row(row).Key);
    return found == sessions_.end() ? nullptr : found->second.get();
}

void DownloadScheduler::Add(const QList<DownloadItem>& items, bool startOver) {
    // A file already in the queue, unfinished, for the same folder.
    QSet<QPair<QByteArray, QString>> queued;
    for (const DownloadRow& row : Queue.Rows())
        if (row.State != RowState::Complete && row.State != RowState::Missing)
            queued.insert({row.Item.Id, row.Item.Folder});
    QList<DownloadRow> rows;
    rows.reserve(items.size());
    for (const DownloadItem& item : items) {
        if (queued.contains({item.Id, item.Folder}) || (AlreadyThere && !startOver && AlreadyThere(item)))
            continue;
        queued.insert({item.Id, item.Folder});
        DownloadRow row;
        row.Item = item;
        row.Length = item.KnownSize;
        row.StartOver = startOver;
        rows.append(std::move(row));
    }
    if (rows.isEmpty())
        return;
    waitingHint_ = std::min(waitingHint_, Queue.Append(rows));
    noteChanged();
    schedule();
}

void DownloadScheduler::schedule() {
    // Rows before the hint wait for nothing: a long queue is not searched
    // from its start for every file that ends.
    int row = std::min(waitingHint_, Queue.Count());
    for (; row < Queue.Count() && int(sessions_.size()) < parallel_; ++row)
        if (Queue.Row(row).State == RowState::Waiting)
            startRow(row);
    while (row < Queue.Count() && Queue.Row(row).State != RowState::Waiting)
        ++row;
    waitingHint_ = row;
}

void DownloadScheduler::startRow(int row) {
    const DownloadRow& data = Queue.Row(row);
    const quint64 key = data.Key;
    FileDownload::Target target;
    target.Item = data.Item;
    target.Site = session_.SiteUrl;
    target.Url = DownloadAddress(session_.SiteUrl, data.Item.Id, session_.AccountName, session_.AccountToken);
    target.KnownPartPath = data.LocalPath;
    target.StartOver = data.StartOver;
    auto session = std::make_unique<FileDownload>(newDownloader(), std::move(target));
    session->SaveEveryBytes = SaveEveryBytes;
    FileDownload* running = session.get();
    running->OnEnded = [this, key] { sessionEnded(key); };
    running->OnStartedOver = [this, key](const QString& why) {
        const int at = Queue.FindRow(key);
        if (at < 0)
            return;
        Queue.Update(at, [&](DownloadRow& r) { r.Reason = why; });
        presenter_.FileStartedOver(at, why);
    };
    sessions_[key] = std::move(session);
    Queue.Update(row, [](DownloadRow& r) {
        r.State = RowState::Running;
        r.StartOver = false;
        r.Reason.clear();
        r.Rate = 0;
    });
    running->Start();
    const int at = Queue.FindRow(key);
    if (at >= 0 && running->LastOutcome() == FileDownload::Outcome::Running)
        Queue.Update(at, [&](DownloadRow& r) { r.LocalPath = running->PartPath(); });
    if (!tick_.isActive())
        tick_.start(UpdateIntervalMs);
    presenter_.FileStarted(at);
}

void DownloadScheduler::sessionEnded(quint64 key) {
    const auto found = sessions_.find(key);
    if (found == sessions_.end())
        return;
    // The session is inside its own event: it goes once that has returned.
    FileDownload* session = found->second.release();
    sessions_.erase(found);
    session->OnEnded = nullptr;
    session->deleteLater();
    receivedEnded_ += session->Received();
    const int row = Queue.FindRow(key);
    if (row < 0)
        return;
    Queue.Update(row, [&](DownloadRow& r) {
        switch (session->LastOutcome()) {
        case FileDownload::Outcome::Complete: r.State = RowState::Complete; break;
        case FileDownload::Outcome::Missing: r.State = RowState::Missing; break;
        default: r.State = RowState::Failed; break;
        }
        r.Reason = session->Reason();
        // A refused file leaves nothing, unless an earlier run had saved bytes of it.
        const bool nothingLeft = session->LastOutcome() == FileDownload::Outcome::Missing &&
                                 !QFileInfo::exists(session->PartPath());
        r.LocalPath = nothingLeft ? QString() : session->LocalPath();
        r.Length = session->Length();
        r.Done = session->Done();
        r.Rate = 0;
    });
    if (session->LastOutcome() == FileDownload::Outcome::Complete) {
        burstCompleted_ += std::max<qint64>(session->Length(), 0);
        burstCompletedDone_ += std::max<qint64>(session->Length(), 0);
    }
    noteChanged();
    presenter_.FileEnded(row);
    schedule();
    if (AtRest())
        tick();
}

void DownloadScheduler::stopSession(quint64 key, bool save) {
    const auto found = sessions_.find(key);
    if (found == sessions_.end())
        return;
    FileDownload* session = found->second.release();
    sessions_.erase(found);
    session->OnEnded = nullptr;
    if (save)
        session->Pause();
    receivedEnded_ += session->Received();
    const int row = Queue.FindRow(key);
    if (row >= 0) {
        Queue.Update(row, [&](DownloadRow& r) {
            if (!session->PartPath().isEmpty())
                r.LocalPath = session->PartPath();
            r.Length = session->Length();
            r.Done = session->Done();
            r.Rate = 0;
        });
    }
    session->deleteLater();
}

void DownloadScheduler::Pause(const QList<int>& rows) {
    for (int row : rows) {
        if (row < 0 || row >= Queue.Count())
            continue;
        const RowState state = Queue.Row(row).State;
        if (state == RowState::Running)
            stopSession(Queue.Row(row).Key, true);
        if (state == RowState::Running || state == RowState::Waiting)
            Queue.Update(row, [](DownloadRow& r) { r.State = RowState::Paused; });
    }
    noteChanged();
    schedule();
    if (AtRest())
        tick();
}

void DownloadScheduler::Continue(const QList<int>& rows) {
    for (int row : rows) {
        if (row < 0 || row >= Queue.Count())
            continue;
        const RowState state = Queue.Row(row).State;
        if (state == RowState::Paused || state == RowState::Failed || state == RowState::Missing) {
            Queue.Update(row, [](DownloadRow& r) {
                r.State = RowState::Waiting;
                r.Reason.clear();
            });
            waitingHint_ = std::min(waitingHint_, row);
        }
    }
    noteChanged();
    schedule();
}

void DownloadScheduler::Remove(const QList<int>& rows, bool deletePartFiles) {
    QSet<quint64> keys;
    QStringList partFiles;
    for (int row : rows) {
        if (row < 0 || row >= Queue.Count())
            continue;
        const quint64 key = Queue.Row(row).Key;
        keys.insert(key);
        stopSession(key, !deletePartFiles);
        const DownloadRow& data = Queue.Row(row);
        if (deletePartFiles && data.State != RowState::Complete && data.LocalPath.endsWith(QStringLiteral(".part")))
            partFiles << data.LocalPath;
    }
    Queue.RemoveIf([&](const DownloadRow& r) { return keys.contains(r.Key); });
    waitingHint_ = 0;
    for (const QString& part : std::as_const(partFiles)) {
        QFile::remove(part);
        QFile::remove(StatePathOf(part));
    }
    noteChanged();
    schedule();
    if (AtRest())
        tick();
}

void DownloadScheduler::ClearFinished() {
    Queue.RemoveIf([](const DownloadRow& r) { return r.State == RowState::Complete || r.State == RowState::Missing; });
    waitingHint_ = 0;
    noteChanged();
}

void DownloadScheduler::PauseAll() {
    QList<int> rows;
    for (int row = 0; row < Queue.Count(); ++row)
        if (Queue.Row(row).State == RowState::Running || Queue.Row(row).State == RowState::Waiting)
            rows << row;
    // Folders not listed yet are forgotten: the user asks for them again.
    pendingFolders_.clear();
    Pause(rows);
    SaveQueue();
}

void DownloadScheduler::TakeSession(bool startNow) {
    if (ownerSite_ == session_.SiteUrl && ownerAccount_ == session_.AccountName && !ownerSite_.isEmpty())
        return;
    if (!ownerSite_.isEmpty())
        PauseAll();
    Queue.Clear();
    waitingHint_ = 0;
    burstCompleted_ = burstCompletedDone_ = 0;
    ownerSite_ = session_.SiteUrl;
    ownerAccount_ = session_.AccountName;
    restoreRows(startNow);
}

void DownloadScheduler::restoreRows(bool startNow) {
    if (queueFile_.isEmpty())
        return;
    QFile file(queueFile_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<DownloadRow> rows;
    for (const QueuedFile& queued : DecodeQueueFile(file.readAll())) {
        if (queued.Site != ownerSite_ || queued.Account != ownerAccount_)
            continue;
        DownloadRow row;
        row.Item = queued.Item;
        row.State = startNow ? RowState::Waiting : RowState::Paused;
        row.LocalPath = queued.PartPath;
        row.Length = queued.Item.KnownSize;
        if (const std::optional<DownloadState> state = ReadDownloadState(StatePathOf(queued.PartPath))) {
            if (state->Length > 0)
                row.Length = state->Length;
            row.Done = SpanBytes(state->Complete);
        }
        rows.append(std::move(row));
    }
    waitingHint_ = std::min(waitingHint_, Queue.Append(rows));
    schedule();
}

void DownloadScheduler::noteChanged() {
    if (!queueFile_.isEmpty() && !saveSoon_.isActive())
        saveSoon_.start(300);
}

void DownloadScheduler::SaveQueue() {
    saveSoon_.stop();
    if (queueFile_.isEmpty() || ownerSite_.isEmpty())
        return;
    QList<QueuedFile> files;
    QFile old(queueFile_);
    if (old.open(QIODevice::ReadOnly)) {
        for (const QueuedFile& queued : DecodeQueueFile(old.readAll()))
            if (queued.Site != ownerSite_ || queued.Account != ownerAccount_)
                files.append(queued);
        old.close();
    }
    for (const DownloadRow& row : Queue.Rows()) {
        if (row.State == RowState::Complete || row.State == RowState::Missing)
            continue;
        files.append({ownerSite_, ownerAccount_, row.Item, row.LocalPath, row.State != RowState::Running &&
                                                                              row.State != RowState::Waiting});
    }
    QDir().mkpath(QFileInfo(queueFile_).path());
    WriteFileAtomically(queueFile_, EncodeQueueFile(files));
}

qint64 DownloadScheduler::BurstTotal() const {
    qint64 total = burstCompleted_;
    for (const DownloadRow& row : Queue.Rows())
        if ((row.State == RowState::Running || row.State == RowState::Waiting) && row.Length > 0)
            total += row.Length;
    return total;
}

qint64 DownloadScheduler::BurstDone() const {
    qint64 done = burstCompletedDone_;
    for (const DownloadRow& row : Queue.Rows())
        if (row.State == RowState::Running || row.State == RowState::Waiting)
            done += row.Done;
    return done;
}

void DownloadScheduler::tick() {
    const qint64 now = clock_.elapsed();
    const qint64 elapsed = now - lastTickMs_;
    int first = -1;
    int last = -1;
    qint64 received = receivedEnded_;
    for (auto& [key, session] : sessions_) {
        received += session->Received();
        const int row = Queue.FindRow(key);
        if (row < 0)
            continue;
        DownloadRow& r = Queue.MutableRow(row);
        const qint64 done = session->Done();
        if (elapsed > 0 && done >= r.Done && r.Done > 0) {
            const double instant = double(done - r.Done) * 1000.0 / double(elapsed);
            r.Rate = r.Rate <= 0 ? instant : 0.5 * r.Rate + 0.5 * instant;
        }
        r.Done = done;
        r.Length = session->Length();
        first = first < 0 ? row : std::min(first, row);
        last = std::max(last, row);
    }
    if (first >= 0)
        Queue.changed(first, last);
    // The rate over all files: the bytes that arrived since the last tick.
    if (elapsed > 0 && received >= lastTickBytes_) {
        const double instant = double(received - lastTickBytes_) * 1000.0 / double(elapsed);
        rate_ = rate_ <= 0 ? instant : 0.5 * rate_ + 0.5 * instant;
    }
    lastTickMs_ = now;
    lastTickBytes_ = received;
    if (sessions_.empty()) {
        tick_.stop();
        rate_ = 0;
    }
    presenter_.QueueProgress();
    if (AtRest())
        burstCompleted_ = burstCompletedDone_ = 0;
}

void DownloadScheduler::AddFolders(const QList<RemoteFolder>& folders, const QString& saveFolder, bool startOver) {
    for (const RemoteFolder& folder : folders) {
        const QString local = saveFolder + SafeLocalFileName(folder.Name) + QLatin1Char('/');
        QDir().mkpath(local);
        if (!seenFolders_.contains(folder.Id))
            seenFolders_.append(folder.Id);
        pendingFolders_.append({folder.Id, folder.Name, local, startOver});
    }
    listNextFolder();
}

void DownloadScheduler::listNextFolder() {
    if (listingBusy_ || pendingFolders_.isEmpty()) {
        if (!listingBusy_)
            seenFolders_.clear();
        return;
    }
    if (!listing_) {
        listing_ = std::make_unique<FolderListingRequest>(session_);
        listing_->HttpMydisk.Connector = Connector;
        listing_->OnListing = [this](const QList<QByteArray>& lines) { folderListed(lines); };
        listing_->OnFailed = [this](quint16 errCode, int status) {
            folderFailed(errCode != 0 ? u("列表请求失败（错误 ") + QString::number(errCode) + u("）")
                                      : u("列表请求失败（状态 ") + QString::number(status) + u("）"));
        };
    }
    listed_ = pendingFolders_.takeFirst();
    listingBusy_ = true;
    ++listingRequests_;
    try {
        listing_->RequestFolderListing(listed_.Id.toInt(), 0);
    } catch (const QxError& error) {
        listingBusy_ = false;
        presenter_.FolderFailed(listed_.Name, FromGbk(error.message()));
        QTimer::singleShot(0, this, [this] { listNextFolder(); });
    }
}

void DownloadScheduler::folderListed(const QList<QByteArray>& lines) {
    QList<DownloadItem> files;
    QString failure;
    for (const QByteArray& line : lines) {
        RemoteEntry entry;
        try {
            entry = ParseListingLine(line);
        } catch (const QxError& error) {
            failure = u("无法读取的列表行：") + FromGbk(error.message());
            break;
        }
        const QString name = FromGbk(entry.Name);
        if (entry.IsFolder) {
            if (seenFolders_.contains(entry.Id))
                continue;
            seenFolders_.append(entry.Id);
            const QString local = listed_.LocalFolder + SafeLocalFileName(name) + QLatin1Char('/');
            QDir().mkpath(local);
            pendingFolders_.append({entry.Id, name, local, listed_.StartOver});
            continue;
        }
        files.append({entry.Id, name, listed_.LocalFolder, entry.Size, FromGbk(RowTexts(entry).SizeText)});
    }
    Add(files, listed_.StartOver);
    if (!failure.isEmpty())
        presenter_.FolderFailed(listed_.Name, failure);
    listingBusy_ = false;
    // The next request goes once this reply's client has finished with it.
    QTimer::singleShot(0, this, [this] {
        listNextFolder();
        if (AtRest())
            tick();
    });
}

void DownloadScheduler::folderFailed(const QString& why) {
    presenter_.FolderFailed(listed_.Name, why);
    listingBusy_ = false;
    QTimer::singleShot(0, this, [this] {
        listNextFolder();
        if (AtRest())
            tick();
    });
}

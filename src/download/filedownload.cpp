#include "download/filedownload.h"

#include "download/downloadtarget.h"
#include "text/gbk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

bool exists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The part file of `statePath`, when the state names this file of the site.
bool continues(const QString& statePath, const QByteArray& site, const QByteArray& id,
               std::optional<DownloadState>& state) {
    state = ReadDownloadState(statePath);
    return state && state->SameFile(site, id);
}

}  // namespace

QString FindPartFile(const QString& folder, const QString& name, const QByteArray& site, const QByteArray& id,
                     const QString& knownPartPath, std::optional<DownloadState>& state) {
    if (!knownPartPath.isEmpty() && QFileInfo(knownPartPath).path() + QLatin1Char('/') == folder &&
        QFileInfo(knownPartPath).isFile() && continues(StatePathOf(knownPartPath), site, id, state))
        return knownPartPath;
    // Its own name first; then any other name a taken one made it use.
    const QString own = PartPathOf(folder + SafeLocalFileName(name));
    if (QFileInfo(own).isFile() && continues(StatePathOf(own), site, id, state))
        return own;
    const QStringList states =
        QDir(folder).entryList({QStringLiteral("*.part.state")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& stateName : states) {
        const QString partPath = folder + stateName.chopped(6);
        if (QFileInfo(partPath).isFile() && continues(folder + stateName, site, id, state))
            return partPath;
    }
    state.reset();
    const QString safe = SafeLocalFileName(name);
    const FileNameParts parts = SplitExtension(safe);
    for (int attempt = 0; attempt < 20000; ++attempt) {
        const QString finalPath =
            attempt == 0 ? folder + safe : folder + parts.base + QLatin1Char('_') + RandomText(2) + parts.ext;
        const QString partPath = PartPathOf(finalPath);
        if (!exists(partPath) && !exists(StatePathOf(partPath)))
            return partPath;
    }
    return QString();
}

FileDownload::FileDownload(std::unique_ptr<TMultipartHttpDownloader> downloader, Target target, QObject* parent)
    : QObject(parent), downloader_(std::move(downloader)), target_(std::move(target)) {
    downloader_->OnRequestDone = [this](TMultipartHttpDownloader&, int errorCode, const QByteArray& reason) {
        transferEnded(errorCode, reason);
    };
    downloader_->OnProgressSetPosition = [this](TMultipartHttpDownloader& d, int, qint64) {
        if (d.CompleteBytes() - savedBytes_ < SaveEveryBytes || saveState())
            return;
        d.Stop();
        end(Outcome::Failed, diskFailure(saveErrno_));
    };
    downloader_->OnStartOver = [this](TMultipartHttpDownloader& d, TStartOverReason reason) {
        // What the file held is no longer counted: the state says so at once.
        state_.Length = d.ContentLength();
        state_.LastModified = d.DocumentLastModified();
        state_.ETag = d.DocumentETag();
        state_.Complete.clear();
        savedBytes_ = 0;
        WriteDownloadState(StatePathOf(partPath_), state_);
        const QString why = reason == TStartOverReason::NoRanges ? u("服务器不支持断点续传，从头下载")
                                                                   : u("文件已更改，从头下载");
        if (OnStartedOver)
            OnStartedOver(why);
    };
}

FileDownload::~FileDownload() {
    // The downloader must not write into a file that is gone.
    downloader_->Stop();
    downloader_->FileStream = nullptr;
    part_.Release();
}

qint64 FileDownload::Length() const {
    if (downloader_->ContentLength() > 0)
        return downloader_->ContentLength();
    return state_.Length > 0 ? state_.Length : -1;
}

qint64 FileDownload::Done() const {
    if (outcome_ == Outcome::Complete)
        return std::max<qint64>(Length(), 0);
    if (outcome_ == Outcome::Running)
        return downloader_->CompleteBytes();
    return SpanBytes(state_.Complete);
}

QString FileDownload::diskFailure(int error) const {
    // A drive that went away answers in many ways; a folder that is no
    // longer there says it plainly.
    if (!QFileInfo(target_.Item.Folder).isDir())
        return u("保存目录不存在");
    return DiskFailureText(error);
}

bool FileDownload::openPartFile(QString& failure) {
    const QString folder = target_.Item.Folder;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        failure = QFileInfo(folder).exists() ? u("目录无法写入") : diskFailure(errno);
        return false;
    }
    std::optional<DownloadState> found;
    partPath_ = FindPartFile(folder, target_.Item.Name, target_.Site, target_.Item.Id, target_.KnownPartPath, found);
    if (found && target_.StartOver) {
        removePartFiles();
        found.reset();
    }
    if (found && part_.openExisting(partPath_)) {
        state_ = *found;
        // Bytes beyond the end of the part file cannot be there, whatever
        // the state says (someone cut the file).
        state_.Complete = MergeSpans(state_.Complete, std::min(state_.Length, part_.size()));
    } else {
        if (found) {
            failure = diskFailure(part_.LastErrno());
            return false;
        }
        if (partPath_.isEmpty()) {
            failure = u("没有可用的文件名");
            return false;
        }
        if (!part_.createNew(partPath_)) {
            failure = diskFailure(part_.LastErrno());
            return false;
        }
        state_ = DownloadState{target_.Site, target_.Item.Id, 0, {}, {}, {}};
        if (!WriteDownloadState(StatePathOf(partPath_), state_)) {
            failure = diskFailure(errno);
            part_.Release();
            removePartFiles();
            return false;
        }
    }
    finalPath_ = partPath_.chopped(5);
    savedBytes_ = SpanBytes(state_.Complete);
    return true;
}

void FileDownload::Start() {
    outcome_ = Outcome::Running;
    reason_.clear();
    QString failure;
    if (!openPartFile(failure)) {
        // Reported from the event loop, as every other ending.
        QTimer::singleShot(0, this, [this, failure] { end(Outcome::Failed, failure); });
        return;
    }
    downloader_->URL = target_.Url;
    downloader_->FileStream = &part_;
    downloader_->Resume = TDownloadResume{state_.Length, state_.LastModified, state_.ETag, state_.Complete};
    downloader_->Start();
}

void FileDownload::Pause() {
    if (outcome_ != Outcome::Running)
        return;
    downloader_->Stop();
    if (part_.isOpen() || !partPath_.isEmpty())
        saveState();
    part_.Release();
    downloader_->FileStream = nullptr;
    outcome_ = Outcome::Paused;
}

bool FileDownload::saveState() {
    if (partPath_.isEmpty())
        return true;
    const QList<ByteSpan> complete = downloader_->CompleteSpans();
    if (downloader_->ContentLength() > 0) {
        state_.Length = downloader_->ContentLength();
        state_.LastModified = downloader_->DocumentLastModified();
        state_.ETag = downloader_->DocumentETag();
    }
    // The bytes must be on the disk before the state may claim them.
    if (!part_.Sync() && part_.LastErrno() != EBADF) {
        saveErrno_ = part_.LastErrno();
        return false;
    }
    state_.Complete = MergeSpans(complete, state_.Length);
    if (!WriteDownloadState(StatePathOf(partPath_), state_)) {
        saveErrno_ = errno;
        return false;
    }
    savedBytes_ = SpanBytes(state_.Complete);
    return true;
}

void FileDownload::transferEnded(int errorCode, const QByteArray& reason) {
    if (errorCode == 200 && reason == "OK") {
        complete();
        return;
    }
    const qint64 length = downloader_->ContentLength();
    if (length <= 0) {
        const bool nothingHere = SpanBytes(state_.Complete) == 0;
        // The site could not be reached: nothing is known of the file.
        const bool unreachable = (errorCode >= 10000 && errorCode < 12000) || errorCode == HttpError::TimedOut;
        // Else nothing was learnt of the file: the site refused it, or it
        // is empty (the site answers both alike).
        if (!unreachable && target_.Item.KnownSize == 0 && nothingHere) {
            complete();
            return;
        }
        part_.Release();
        if (nothingHere)
            removePartFiles();
        // A proxy that failed is named: it says nothing about the site.
        if (unreachable)
            end(Outcome::Failed, downloader_->ProxyFailed() ? FromGbk(reason) : u("连接失败"));
        else
            end(Outcome::Missing);
        return;
    }
    QString why;
    if (errorCode == DownloadError::WriteFailed)
        why = diskFailure(part_.LastErrno());
    saveState();
    part_.Release();
    if (why.isEmpty() && downloader_->ProxyFailed())
        why = FromGbk(reason);
    if (why.isEmpty())
        why = errorCode >= 100 && errorCode < 600 ? u("服务器错误 ") + QString::number(errorCode) : u("连接中断");
    end(Outcome::Failed, why);
}

void FileDownload::complete() {
    const qint64 length = std::max<qint64>(downloader_->ContentLength(), 0);
    // Every byte must be on the disk, and nothing beyond the document (a
    // part file of a longer earlier version), before it gets its name.
    if (!part_.Resize(length) || !part_.Sync() || !part_.Release()) {
        const QString why = diskFailure(part_.LastErrno());
        saveState();
        end(Outcome::Failed, why);
        return;
    }
    const FileNameParts parts = SplitExtension(QFileInfo(finalPath_).fileName());
    const QString folder = QFileInfo(finalPath_).path() + QLatin1Char('/');
    QString target = finalPath_;
    bool renamed = false;
    for (int attempt = 0; attempt < 20000 && !renamed; ++attempt) {
        if (attempt > 0)
            target = folder + parts.base + QLatin1Char('_') + RandomText(2) + parts.ext;
        renamed = RenameWithoutReplacing(partPath_, target);
        if (!renamed && errno != EEXIST)
            break;
    }
    if (!renamed) {
        const QString why = diskFailure(errno);
        state_.Length = length;
        state_.Complete = {{0, length}};
        WriteDownloadState(StatePathOf(partPath_), state_);
        end(Outcome::Failed, why);
        return;
    }
    finalPath_ = target;
    QFile::remove(StatePathOf(partPath_));
    state_.Length = length;
    state_.Complete = {{0, length}};
    end(Outcome::Complete);
}

void FileDownload::removePartFiles() {
    QFile::remove(partPath_);
    QFile::remove(StatePathOf(partPath_));
}

void FileDownload::end(Outcome outcome, const QString& reason) {
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    reason_ = reason;
    downloader_->FileStream = nullptr;
    part_.Release();
    if (OnEnded)
        OnEnded();
}

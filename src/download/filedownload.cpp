#include "download/filedownload.h"

#include "download/downloadtarget.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {
QString fileText(const QString& name, const char* what) {
    return QString::fromUtf8("文件【") + name + QString::fromUtf8(what);
}
}  // namespace

FileDownload::FileDownload(QString okSound, QString errorSound, QObject* parent)
    : QObject(parent), okSound_(std::move(okSound)), errorSound_(std::move(errorSound)) {
    HttpDownFile.OnRequestDone = [this](TMultipartHttpDownloader&, int errorCode, const QByteArray& reason) {
        HttpDownFileRequestDone(errorCode, reason);
    };
    HttpDownFile.OnProgressAddSegment = [this](TMultipartHttpDownloader&, qint64 startOffset, qint64, qint64) {
        HttpDownFileProgressAddSegment(startOffset);
    };
    HttpDownFile.OnProgressSetPosition = [this](TMultipartHttpDownloader&, int index, qint64 position) {
        HttpDownFileProgressSetPosition(index, position);
    };
    // The statistics are not shown.
    HttpDownFile.OnShowStats = [](TMultipartHttpDownloader&) {};
}

FileDownload::~FileDownload() {
    // The downloader goes after this body: it must not write into a file
    // that is gone.
    HttpDownFile.FileStream = nullptr;
}

void FileDownload::Start(const QByteArray& url, const QString& folder, const QString& name) {
    DownloadTarget target = CreateDownloadTarget(folder, name);

    // From here on the new download replaces the running one.
    std::unique_ptr<QFile> earlier = std::exchange(file_, std::move(target.file));
    name_ = name;
    targetPath_ = target.path;
    rangeStarts_.clear();
    rangeReceived_.clear();
    setGauge(0, true);
    outcome_ = Outcome::Running;

    HttpDownFile.URL = url;
    HttpDownFile.PartCount = 2;
    HttpDownFile.FileStream = file_.get();
    try {
        HttpDownFile.Start();
    } catch (const QxError& error) {
        HttpDownFile.FileStream = nullptr;
        file_.reset();
        outcome_ = Outcome::Failed;
        showStatus(QString::fromUtf8("文件[") + name + QString::fromUtf8("]下载出错：") +
                   QString::fromLatin1(error.className()) + QStringLiteral(": ") + FromGbk(error.message()));
        if (OnEnded)
            OnEnded(outcome_);
        return;
    }
    // Start dropped the earlier transfer without an event: its file is
    // closed here, holding what was written so far.
    earlier.reset();
    showStatus(fileText(name, "】下载中..."));
}

void FileDownload::HttpDownFileRequestDone(int errorCode, const QByteArray& reason) {
    // On success the downloader closed the file itself; on any other ending
    // it is still open.
    HttpDownFile.FileStream = nullptr;
    closeFile();
    setGauge(0, true);
    if (errorCode == 200 && reason == "OK") {
        outcome_ = Outcome::Complete;
        playSound(okSound_);
        showStatus(fileText(name_, "】下载完成"));
        if (OnEnded)
            OnEnded(outcome_);
        return;
    }
    // The site had the file when it announced its length or sent bytes of
    // it; a refusal or a transfer that learnt nothing finds no file.
    const bool existed = HttpDownFile.TotalCount() > 0 || HttpDownFile.ContentLength() > 0;
    outcome_ = existed ? Outcome::Failed : Outcome::Missing;
    playSound(errorSound_);
    showStatus(fileText(name_, existed ? "】下载失败" : "】不存在"));
    if (OnEnded)
        OnEnded(outcome_);
}

void FileDownload::HttpDownFileProgressAddSegment(qint64 startOffset) {
    rangeStarts_.append(startOffset);
    rangeReceived_.append(0);
}

qint64 FileDownload::Received() const {
    return std::accumulate(rangeReceived_.cbegin(), rangeReceived_.cend(), qint64(0));
}

void FileDownload::HttpDownFileProgressSetPosition(int index, qint64 position) {
    if (index < 0 || index >= rangeStarts_.size())
        return;
    // A restarted range reports its first byte again: what it had is lost.
    rangeReceived_[index] = std::max<qint64>(0, position - rangeStarts_[index]);
    const qint64 length = HttpDownFile.ContentLength();
    if (length <= 0)
        return;
    const qint64 received = Received();
    setGauge(int(std::clamp<qint64>(received * 100 / length, 0, 100)));
}

void FileDownload::playSound(const QString& soundFile) {
    if (PlaySound)
        PlaySound(soundFile);
}

void FileDownload::showStatus(const QString& text) {
    if (SetStatusText)
        SetStatusText(text);
}

void FileDownload::setGauge(int percent, bool always) {
    if (percent == gauge_ && !always)
        return;
    gauge_ = percent;
    if (SetGauge)
        SetGauge(percent);
}

void FileDownload::closeFile() {
    if (file_)
        file_->close();
    file_.reset();
}

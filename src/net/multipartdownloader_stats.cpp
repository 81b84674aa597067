// TMultipartHttpDownloader: the statistics tick, closing the destination and
// the stall watchdog.

#include "net/multipartdownloader.h"

#include "net/downloadstats.h"
#include "text/gbk.h"

#include <QFileDevice>

bool TMultipartHttpDownloader::allPartsDone() const {
    for (const TMyHttpCli* part : parts_) {
        if (!part->PartDone)
            return false;
    }
    return true;
}

bool TMultipartHttpDownloader::statsTick(bool allDone) {
    const quint32 tick = MillisecondTick();
    curSpeed_ = KilobitsPerSecond(totalCount_ - prevCount_, TickDifference(prevTick_, tick), curSpeed_);
    const qint64 elapsedMs = clock_.elapsed();
    elapsedTime_ = double(elapsedMs) / MillisecondsPerDay;
    percentDone_ = PercentOf(totalCount_, contentLength_);
    const auto showStats = [&] {
        if (OnShowStats)
            OnShowStats(*this);
    };
    if (!raise(showStats))
        return false;
    prevTick_ = tick;
    prevCount_ = totalCount_;
    if (!allDone)
        return true;

    // The final tick: the average rate over the whole transfer, then the
    // destination is complete.
    statsTimer_.stop();
    curSpeed_ = KilobitsPerSecond(totalCount_, elapsedMs, curSpeed_);
    if (!raise(showStats))
        return false;
    QByteArray error;
    if (!closeDestination(error)) {
        failTransfer(DownloadError::WriteFailed, error);
        return false;
    }
    return display("Done");
}

bool TMultipartHttpDownloader::closeDestination(QByteArray& error) {
    QIODevice* stream = FileStream;
    if (!stream)
        return true;
    if (auto* file = qobject_cast<QFileDevice*>(stream)) {
        // Bytes still in the file's buffer must reach the disk before the
        // transfer can count as complete; and a file that held more before
        // (opened without truncating) must not keep its old tail.
        if (!file->flush() || (file->size() > contentLength_ && !file->resize(contentLength_))) {
            error = "Can't write to the destination: " + ToGbk(file->errorString());
            return false;
        }
    }
    stream->close();
    FileStream = nullptr;
    return true;
}

void TMultipartHttpDownloader::checkStalls() {
    if (StallTimeout <= 0)
        return;
    const quint32 now = MillisecondTick();
    for (TMyHttpCli* part : std::as_const(parts_)) {
        if (part->Retired || part->State() == httpReady)
            continue;
        // The asynchronous requests have no time limit of their own: one
        // that hangs would keep the transfer from ever ending. Abandoned, its
        // completion fails the probe or restarts the range. Every byte on
        // the connection counts as a sign of life: a reply that arrives
        // slowly (the body of a refusal, a header) ends on its own.
        const qint64 sinceTraffic = part->MillisecondsSinceTraffic();
        if (TickDifference(part->LastActivity, now) >= quint32(StallTimeout) &&
            (sinceTraffic < 0 || sinceTraffic >= StallTimeout))
            part->Abort();
    }
}

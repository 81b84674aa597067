// TMultipartHttpDownloader: the events of the range clients - accepting a
// reply, writing its blocks, following a redirect, restarting a range that
// failed and noticing that all are done.

#include "net/multipartdownloader.h"

#include "net/downloadranges.h"
#include "net/downloadstats.h"
#include "text/gbk.h"

#include <algorithm>
#include <utility>

void TMultipartHttpDownloader::sendRange(TMyHttpCli& part) {
    // The range asks only for what it does not have yet: after a break, the
    // bytes already written stay and the request continues behind them.
    part.ContentRangeBegin = QByteArray::number(part.StartOffset + part.DataCount);
    part.ContentRangeEnd = QByteArray::number(part.EndOffset);
    copyConnectionProperties(part);
    part.PartDone = false;
    part.Accepted = false;
    part.RejectedStatus = 0;
    part.Progressed = false;
    part.Shortened = false;
    part.LastActivity = MillisecondTick();
    part.RequestTick = part.LastActivity;
    part.RequestBytes = 0;
    part.GetASync();
}

void TMultipartHttpDownloader::assignRange(TMyHttpCli& part, const DownloadRange& range) {
    part.StartOffset = range.StartOffset;
    part.EndOffset = range.EndOffset;
    part.LastByte = range.LastByte;
    part.DataCount = 0;
    part.PartDone = false;
    part.Furthest = 0;
    part.Failures = 0;
    part.FirstRange = false;
}

void TMultipartHttpDownloader::partHeaderEnd(TMyHttpCli& part) {
    part.LastActivity = MillisecondTick();
    const int status = part.StatusCode();
    RangeAsk ask;
    ask.Begin = part.StartOffset + part.DataCount;
    ask.LastByte = part.LastByte;
    ask.FirstRange = part.FirstRange;
    ask.DocumentLength = contentLength_;
    switch (JudgeRangeReply(status, part.ContentRangeBegin, part.ContentLength(), ask)) {
    case RangeReplyUse::AskedBytes:
        part.Accepted = true;
        return;
    case RangeReplyUse::WholeDocument:
        // Its body is the document from byte 0: written from the start of
        // the file again, over whatever is there (the same bytes).
        part.Accepted = true;
        part.DataCount = 0;
        if (!oneStream_)
            becomeOneStream(part);
        return;
    case RangeReplyUse::Refused:
        break;
    }
    // A redirect is followed by the client (its body is not written), or
    // ends the request and so the attempt.
    if (status >= 300 && status < 400)
        return;
    // Not the bytes asked for - a 200 for a range that does not start at 0,
    // a 206 for other bytes, an error page: nothing of it may reach the
    // file, and reading it would only waste time. Abandoned here; its
    // completion asks for the range again.
    part.RejectedStatus = status;
    part.Abort();
}

bool TMultipartHttpDownloader::becomeOneStream(TMyHttpCli& part) {
    oneStream_ = true;
    // The body is the document from its first byte: a continued download
    // loses what it had and writes the file anew.
    const bool hadBytes = part.StartOffset > 0 || !done_.isEmpty();
    waiting_.clear();
    part.StartOffset = 0;
    part.EndOffset = contentLength_;
    part.LastByte = contentLength_ - 1;
    // The other ranges stop now: nothing they still receive is written, and
    // owners take back what their gauges counted for them.
    QList<std::pair<int, qint64>> stopped;  // index and first byte of each other range
    for (TMyHttpCli* p : std::exchange(parts_, {&part})) {
        if (p == &part)
            continue;
        stopped.append({p->PartIndex, p->StartOffset});
        retirePart(*p);
    }
    if (!display("Ranges ignored by the server: one stream from index " + QByteArray::number(part.PartIndex)))
        return false;
    if (hadBytes && !startOver(TStartOverReason::NoRanges))
        return false;
    for (const auto& [index, start] : std::as_const(stopped)) {
        if (!raise([&] {
                if (OnProgressSetPosition)
                    OnProgressSetPosition(*this, index, start);
            }))
            return false;
    }
    return raise([&] {
        if (OnProgressSetPosition)
            OnProgressSetPosition(*this, part.PartIndex, part.StartOffset);
    });
}

void TMultipartHttpDownloader::partData(TMyHttpCli& part, const char* buffer, int len) {
    part.LastActivity = MillisecondTick();
    if (len < 1 || !part.Accepted)
        return;
    const qint64 position = part.StartOffset + part.DataCount;
    // A server sending more than the range asked for must write neither into
    // the next range nor past the end of the document.
    const qint64 count = std::min<qint64>(len, part.LastByte + 1 - position);
    if (count <= 0)
        return;
    if (!FileStream) {
        failTransfer(DownloadError::WriteFailed, "No destination stream to write to");
        return;
    }
    // Blocks of the ranges arrive interleaved: every write first moves to
    // its range's own position.
    if (!FileStream->seek(position) || FileStream->write(buffer, count) != count) {
        failTransfer(DownloadError::WriteFailed,
                     "Can't write to the destination: " + ToGbk(FileStream->errorString()));
        return;
    }
    part.DataCount += count;
    part.RequestBytes += count;
    totalCount_ += count;
    if (part.DataCount > part.Furthest) {
        part.Furthest = part.DataCount;
        part.Progressed = true;
    }
    if (!raise([&] {
            if (OnProgressSetPosition)
                OnProgressSetPosition(*this, part.PartIndex, part.StartOffset + part.DataCount);
        }))
        return;
    // Another range took over the rest of this one: its request would
    // carry on into bytes that are not its own.
    if (part.Shortened && part.DataCount == part.LastByte - part.StartOffset + 1 && part.State() != httpReady)
        part.Abort();
}

void TMultipartHttpDownloader::partLocationChange(TMyHttpCli& part) {
    part.LastActivity = MillisecondTick();
    part.Accepted = false;  // the next response is judged on its own
    part.RejectedStatus = 0;
    if (!display("LocationChange = " + part.Location()))
        return;
    // The redirected request continues where the range stands; its data is
    // written after the bytes already there.
    part.ContentRangeBegin = QByteArray::number(part.StartOffset + part.DataCount);
    part.ContentRangeEnd = QByteArray::number(part.EndOffset);
}

void TMultipartHttpDownloader::partFinished(TMyHttpCli& part, quint16 errCode) {
    part.PartDone = true;
    const QByteArray index = QByteArray::number(part.PartIndex);
    // The range counts as done when every byte of it was written from
    // replies that carried the asked bytes, whatever ended the last one.
    const qint64 span = part.LastByte - part.StartOffset + 1;
    if (part.Accepted && part.DataCount == span && part.RejectedStatus == 0) {
        if (!display("Download done index = " + index + " OK"))
            return;
        const quint64 generation = generation_;
        if (takeMoreWork(part) || generation != generation_)
            return;
        checkAllDone();
        return;
    }
    if (errCode != 0 && part.RejectedStatus == 0) {
        if (display("Download done index = " + index + "  ErrorCode = " + QByteArray::number(errCode)))
            rangeFailed(part, errCode,
                        part.ProxyFailed() ? part.ReasonPhrase() : "ErrorCode = " + QByteArray::number(errCode));
        return;
    }
    const int status = part.RejectedStatus != 0 ? part.RejectedStatus : part.StatusCode();
    if (display("Download done index = " + index + "  Status = " + QByteArray::number(status))) {
        // The failure code of a range that keeps failing: its HTTP status,
        // unless that looks like success.
        const int code = status == 0 || status == 200 || status == 206 ? DownloadError::BadReply : status;
        rangeFailed(part, code, "Status = " + QByteArray::number(status));
    }
}

void TMultipartHttpDownloader::rangeFailed(TMyHttpCli& part, int errorCode, const QByteArray& detail) {
    // Only attempts that bring no new byte count: a range that makes
    // progress goes on being continued, one that cannot be served ends the
    // transfer instead of being asked for without end.
    if (part.Progressed)
        part.Failures = 0;
    else
        ++part.Failures;
    if (MaxRangeFailures > 0 && part.Failures >= MaxRangeFailures) {
        proxyFailed_ = part.ProxyFailed();
        failTransfer(errorCode, "Range " + QByteArray::number(part.PartIndex) + " failed " +
                                    QByteArray::number(part.Failures) + " times in a row (last: " + detail + ")");
        return;
    }
    restartPart(part);
}

void TMultipartHttpDownloader::restartPart(TMyHttpCli& part) {
    if (!display("Restarting " + QByteArray::number(part.PartIndex)))
        return;
    if (!raise([&] {
            if (OnProgressSetPosition)
                OnProgressSetPosition(*this, part.PartIndex, part.StartOffset + part.DataCount);
        }))
        return;
    // Not done while it waits to be asked for again.
    part.PartDone = false;
    const int delay = part.Failures > 0 ? RetryDelay * part.Failures : 0;
    if (delay <= 0) {
        // The client asks at URL again, which a redirect never changes: a
        // range that was redirected is redirected again.
        sendRange(part);
        return;
    }
    const quint64 generation = generation_;
    QPointer<TMyHttpCli> target(&part);
    QTimer::singleShot(delay, this, [this, generation, target] {
        if (generation != generation_ || target.isNull() || target->Retired)
            return;
        RunGuarded([&] { sendRange(*target); });
    });
}

bool TMultipartHttpDownloader::takeMoreWork(TMyHttpCli& part) {
    if (oneStream_)
        return false;
    done_.append({part.StartOffset, part.LastByte + 1});
    done_ = MergeSpans(done_, contentLength_);
    part.DataCount = 0;
    DownloadRange next;
    if (!waiting_.isEmpty()) {
        next = waiting_.takeFirst();
    } else {
        // The range with the most bytes still to come gives up its upper
        // half; it stops where that half begins.
        TMyHttpCli* victim = nullptr;
        qint64 most = 0;
        for (TMyHttpCli* other : std::as_const(parts_)) {
            if (other == &part || other->Retired || other->PartDone)
                continue;
            const qint64 left = other->LastByte + 1 - (other->StartOffset + other->DataCount);
            if (left > most) {
                most = left;
                victim = other;
            }
        }
        if (!victim || StealMinimum <= 0 || most < std::max<qint64>(StealMinimum, 2))
            return false;
        // At its own pace (nothing yet counts as no pace at all).
        const quint32 elapsed = std::max<quint32>(TickDifference(victim->RequestTick, MillisecondTick()), 1);
        if (victim->RequestBytes > 0 && double(most) * elapsed / double(victim->RequestBytes) <= StealAfterMs)
            return false;
        const qint64 middle = victim->StartOffset + victim->DataCount + most / 2;
        next.StartOffset = middle;
        next.EndOffset = victim->EndOffset;
        next.LastByte = victim->LastByte;
        victim->LastByte = middle - 1;
        victim->EndOffset = middle - 1;
        victim->Shortened = true;
        if (!display("Index " + QByteArray::number(part.PartIndex) + " takes over bytes " +
                     QByteArray::number(middle) + "-" + QByteArray::number(next.LastByte) + " of index " +
                     QByteArray::number(victim->PartIndex)))
            return true;
    }
    assignRange(part, next);
    if (!raise([&] {
            if (OnProgressAddSegment)
                OnProgressAddSegment(*this, next.StartOffset, next.EndOffset - next.StartOffset, next.StartOffset);
        }))
        return true;
    sendRange(part);
    return true;
}

void TMultipartHttpDownloader::checkAllDone() {
    if (!allPartsDone())
        return;
    finishTransfer();
}

// TMultipartHttpDownloader: the events of the range clients - accepting a
// reply, writing its blocks, following a redirect, restarting a range that
// failed and noticing that all are done.

#include "net/multipartdownloader.h"

#include "net/downloadranges.h"
#include "net/downloadstats.h"
#include "text/gbk.h"

#include <algorithm>

void TMultipartHttpDownloader::sendRange(TMyHttpCli& part) {
    part.ContentRangeBegin = QByteArray::number(part.StartOffset);
    part.ContentRangeEnd = QByteArray::number(part.EndOffset);
    copyConnectionProperties(part);
    part.DataCount = 0;
    part.PartDone = false;
    part.Accepted = false;
    part.RejectedStatus = 0;
    part.Progressed = false;
    part.LastActivity = MillisecondTick();
    part.GetASync();
}

void TMultipartHttpDownloader::partHeaderEnd(TMyHttpCli& part) {
    part.LastActivity = MillisecondTick();
    const int status = part.StatusCode();
    if (IsAskedRange(status, part.ContentRangeBegin, part.StartOffset + part.DataCount)) {
        part.Accepted = true;
        return;
    }
    // A redirect is followed by the client (its body is not written), or
    // ends the request and so the attempt.
    if (status >= 300 && status < 400)
        return;
    // Not the bytes asked for - a 200 with the whole document from a server
    // that ignores Range, a 206 for other bytes, an error page: nothing of it
    // may reach the file, and reading it would only waste time. Abandoned
    // here; its completion restarts the range.
    part.RejectedStatus = status;
    part.Abort();
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
    totalCount_ += count;
    if (part.DataCount > part.Furthest) {
        part.Furthest = part.DataCount;
        part.Progressed = true;
    }
    raise([&] {
        if (OnProgressSetPosition)
            OnProgressSetPosition(*this, part.PartIndex, part.StartOffset + part.DataCount);
    });
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
    if (errCode != 0 && part.RejectedStatus == 0) {
        if (display("Download done index = " + index + "  ErrorCode = " + QByteArray::number(errCode)))
            rangeFailed(part, errCode, "ErrorCode = " + QByteArray::number(errCode));
        return;
    }
    const int status = part.RejectedStatus != 0 ? part.RejectedStatus : part.StatusCode();
    // A 206 counts only when all of the range arrived: a reply that
    // announced fewer bytes than asked would leave a hole in the file.
    const qint64 span = part.LastByte - part.StartOffset + 1;
    if (errCode == 0 && status == 206 && part.Accepted && part.DataCount == span) {
        if (display("Download done index = " + index + " OK"))
            checkAllDone();
        return;
    }
    if (display("Download done index = " + index + "  Status = " + QByteArray::number(status))) {
        // The failure code of a range that keeps failing: its HTTP status,
        // unless that looks like success.
        const int code = status == 0 || status == 200 || status == 206 ? DownloadError::BadReply : status;
        rangeFailed(part, code, "Status = " + QByteArray::number(status));
    }
}

void TMultipartHttpDownloader::rangeFailed(TMyHttpCli& part, int errorCode, const QByteArray& detail) {
    // Only attempts that get no further than any before them count: a range
    // that makes progress goes on being restarted, one that cannot be served
    // ends the transfer instead of being asked for without end.
    if (part.Progressed)
        part.Failures = 0;
    else
        ++part.Failures;
    if (MaxRangeFailures > 0 && part.Failures >= MaxRangeFailures) {
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
                OnProgressSetPosition(*this, part.PartIndex, part.StartOffset);
        }))
        return;
    // The client asks at URL again, which a redirect never changes: a range
    // that was redirected is redirected again.
    sendRange(part);
}

void TMultipartHttpDownloader::checkAllDone() {
    if (!allPartsDone())
        return;
    finishTransfer();
}

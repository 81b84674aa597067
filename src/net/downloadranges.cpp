#include "net/downloadranges.h"

#include <algorithm>

QList<DownloadRange> SplitDocument(qint64 contentLength, int partCount) {
    QList<DownloadRange> ranges;
    if (contentLength <= 0 || partCount < 1)
        return ranges;
    const qint64 partSize = contentLength / partCount;
    qint64 offset = 0;
    for (int i = 0; i < partCount; ++i) {
        DownloadRange range;
        range.StartOffset = offset;
        range.EndOffset = i < partCount - 1 ? offset + partSize : contentLength;
        offset += partSize + 1;
        if (range.StartOffset >= contentLength)
            break;  // nothing of the document is left for this range or the ones after it
        range.LastByte = std::min(range.EndOffset, contentLength - 1);
        ranges.append(range);
    }
    return ranges;
}

bool IsAskedRange(int statusCode, const QByteArray& contentRangeBegin, qint64 askedStart) {
    if (statusCode != 206)
        return false;
    bool ok = false;
    const qint64 begin = contentRangeBegin.trimmed().toLongLong(&ok);
    return ok && begin == askedStart;
}

RangeReplyUse JudgeRangeReply(int statusCode, const QByteArray& contentRangeBegin, qint64 contentLength,
                              const RangeAsk& ask) {
    if (statusCode == 206) {
        if (!contentRangeBegin.trimmed().isEmpty())
            return IsAskedRange(statusCode, contentRangeBegin, ask.Begin) ? RangeReplyUse::AskedBytes
                                                                          : RangeReplyUse::Refused;
        return contentLength == ask.LastByte - ask.Begin + 1 ? RangeReplyUse::AskedBytes : RangeReplyUse::Refused;
    }
    if (statusCode == 200 && ask.StartsAtZero && ask.DocumentLength > 0 && contentLength == ask.DocumentLength)
        return RangeReplyUse::WholeDocument;
    return RangeReplyUse::Refused;
}

QByteArray DecodeDocName(const QByteArray& docName) {
    QByteArray name = docName;
    name.replace('+', ' ');  // before the escapes, so that "%2B" stays a "+"
    return QByteArray::fromPercentEncoding(name);
}

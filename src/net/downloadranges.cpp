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
    if (statusCode == 200 && ask.FirstRange && ask.DocumentLength > 0 && contentLength == ask.DocumentLength)
        return RangeReplyUse::WholeDocument;
    return RangeReplyUse::Refused;
}

QByteArray DecodeDocName(const QByteArray& docName) {
    QByteArray name = docName;
    name.replace('+', ' ');  // before the escapes, so that "%2B" stays a "+"
    return QByteArray::fromPercentEncoding(name);
}

QList<ByteSpan> MergeSpans(QList<ByteSpan> spans, qint64 length) {
    QList<ByteSpan> merged;
    for (ByteSpan& span : spans) {
        if (length >= 0) {
            span.Begin = std::max<qint64>(span.Begin, 0);
            span.End = std::min(span.End, length);
        }
    }
    spans.removeIf([](const ByteSpan& span) { return span.End <= span.Begin; });
    std::sort(spans.begin(), spans.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.Begin < b.Begin; });
    for (const ByteSpan& span : std::as_const(spans)) {
        if (!merged.isEmpty() && span.Begin <= merged.last().End)
            merged.last().End = std::max(merged.last().End, span.End);
        else
            merged.append(span);
    }
    return merged;
}

qint64 SpanBytes(const QList<ByteSpan>& spans) {
    qint64 bytes = 0;
    for (const ByteSpan& span : spans)
        bytes += span.Size();
    return bytes;
}

QList<ByteSpan> MissingSpans(const QList<ByteSpan>& complete, qint64 length) {
    QList<ByteSpan> missing;
    qint64 next = 0;
    for (const ByteSpan& span : MergeSpans(complete, length)) {
        if (span.Begin > next)
            missing.append({next, span.Begin});
        next = span.End;
    }
    if (next < length)
        missing.append({next, length});
    return missing;
}

QList<DownloadRange> SplitMissing(const QList<ByteSpan>& missing, qint64 length, int count) {
    QList<ByteSpan> pieces = MergeSpans(missing, length);
    while (pieces.size() < count) {
        const auto largest = std::max_element(pieces.begin(), pieces.end(),
                                              [](const ByteSpan& a, const ByteSpan& b) { return a.Size() < b.Size(); });
        if (largest == pieces.end() || largest->Size() < 2)
            break;
        const qint64 middle = largest->Begin + (largest->Size() + 1) / 2;
        const ByteSpan upper{middle, largest->End};
        largest->End = middle;
        pieces.insert(largest - pieces.begin() + 1, upper);
    }
    QList<DownloadRange> ranges;
    for (const ByteSpan& piece : std::as_const(pieces)) {
        DownloadRange range;
        range.StartOffset = piece.Begin;
        range.LastByte = piece.End - 1;
        range.EndOffset = piece.End == length ? length : piece.End - 1;
        ranges.append(range);
    }
    return ranges;
}

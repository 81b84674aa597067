#pragma once
// How the multipart downloader divides a document into byte ranges, and
// which range replies it accepts. Plain functions, so the arithmetic is
// tested without a network.

#include <QByteArray>
#include <QList>

struct DownloadRange {
    qint64 StartOffset = 0;  // first byte asked for
    // Last byte asked for, as written in the Range header. The last range
    // asks up to the document length itself, one past its last byte, which
    // a server reads as "to the end" (RFC 7233 section 2.1).
    qint64 EndOffset = 0;
    // Last byte of the document the range really covers: EndOffset, but
    // never beyond the document's last byte.
    qint64 LastByte = 0;

    qint64 Span() const { return LastByte - StartOffset + 1; }
};

// Divides a document of `contentLength` bytes (> 0) into `partCount` (>= 2)
// ranges: each range but the last asks for contentLength / partCount + 1
// bytes, the last one for the rest. Ranges that would start at or beyond
// the end of the document (a 1- or 2-byte document split in two, say) are
// left out, so the result may hold fewer than `partCount` ranges; it never
// holds none. Offsets are 64-bit throughout.
QList<DownloadRange> SplitDocument(qint64 contentLength, int partCount);

// True when a range reply may be written into the file: a 206 whose
// Content-Range starts exactly where the range asked. A 200 (a server that
// ignores Range) carries the whole document, and a 206 for other bytes would
// land at the wrong place.
bool IsAskedRange(int statusCode, const QByteArray& contentRangeBegin, qint64 askedStart);

// How a part client's reply to a range request may be used.
enum class RangeReplyUse {
    Refused,        // not the bytes asked for: nothing of it reaches the file
    AskedBytes,     // the bytes asked for, from the asked first byte on
    WholeDocument,  // the whole document from its first byte (a server without ranges)
};

// What the range asked for when the reply came.
struct RangeAsk {
    qint64 Begin = 0;           // first byte asked for
    qint64 LastByte = 0;        // last document byte the range covers
    // The range is the first of the division: it starts at byte 0, or, for
    // a continued document, at its first missing byte. Only it may take a
    // whole document in one stream.
    bool FirstRange = false;
    qint64 DocumentLength = 0;  // the length the size probe learnt
};

// Judges a range reply by its status, its Content-Range start (empty when
// the reply had none) and its Content-Length (-1 when it had none):
// - a 206 is the asked bytes when its Content-Range starts at Begin, or,
//   without a Content-Range, when its length is exactly that of the range
//   asked (anything else would land at the wrong place or leave a hole);
// - a 200 of exactly the probed length is the whole document, usable only by
//   the first range (its body is the file from offset 0, written from there);
//   any other range must never write it.
RangeReplyUse JudgeRangeReply(int statusCode, const QByteArray& contentRangeBegin, qint64 contentLength,
                              const RangeAsk& ask);

// A stretch of the document: the bytes from Begin up to End, End not
// included.
struct ByteSpan {
    qint64 Begin = 0;
    qint64 End = 0;

    qint64 Size() const { return End - Begin; }
    bool operator==(const ByteSpan&) const = default;
};

// The spans in order, overlapping and touching ones joined, empty ones left
// out; with a `length` of 0 or more, clipped to the document's bytes.
QList<ByteSpan> MergeSpans(QList<ByteSpan> spans, qint64 length = -1);
// The bytes the (merged) spans hold.
qint64 SpanBytes(const QList<ByteSpan>& spans);
// The bytes of a document of `length` that `complete` does not hold, in order.
QList<ByteSpan> MissingSpans(const QList<ByteSpan>& complete, qint64 length);

// The ranges that fetch the `missing` spans of a continued document of
// `length` bytes with `count` connections: each span is a range, and the
// largest range is halved until there are `count` of them (or none of two
// bytes or more is left). More spans than connections give more ranges:
// the first `count` run, the others wait for a connection that is done. In
// document order; a range that reaches the document's end asks up to the
// length itself, as the last range of SplitDocument does.
QList<DownloadRange> SplitMissing(const QList<ByteSpan>& missing, qint64 length, int count);

// The document name as the probe shows it: "+" and %xx escapes decoded.
QByteArray DecodeDocName(const QByteArray& docName);

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
    bool StartsAtZero = false;  // the range as first divided starts at byte 0
    qint64 DocumentLength = 0;  // the length the size probe learnt
};

// Judges a range reply by its status, its Content-Range start (empty when
// the reply had none) and its Content-Length (-1 when it had none):
// - a 206 is the asked bytes when its Content-Range starts at Begin, or,
//   without a Content-Range, when its length is exactly that of the range
//   asked (anything else would land at the wrong place or leave a hole);
// - a 200 of exactly the probed length is the whole document, usable only by
//   the range that starts at byte 0 (its body is the file from offset 0);
//   any other range must never write it.
RangeReplyUse JudgeRangeReply(int statusCode, const QByteArray& contentRangeBegin, qint64 contentLength,
                              const RangeAsk& ask);

// The document name as the probe shows it: "+" and %xx escapes decoded.
QByteArray DecodeDocName(const QByteArray& docName);

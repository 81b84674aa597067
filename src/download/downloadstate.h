#pragma once
// The state file of an unfinished download ("<final name>.part.state"):
// which file of which site the part file holds, the length and validators
// the site gave for it, and the byte spans of it that are on the disk. It
// is written atomically (partfile.h), after the part file was synced, so it
// never claims bytes that a crash could still take away.
//
// The text, one item per line ("key value", values percent-encoded):
//     quellix-part 1
//     site http://pan.example.cn/
//     id 42
//     length 1048576
//     last-modified Tue,%2001%20Oct%202024%2010:00:00%20GMT
//     etag %22abc%22
//     complete 0-65535,131072-1048575
// Spans are written as first-last byte, both included.

#include "net/downloadranges.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct DownloadState {
    QByteArray Site;  // SiteUrl of the site the file comes from
    QByteArray Id;    // the file's id on the site
    qint64 Length = 0;  // 0 until a probe learnt it
    QByteArray LastModified;
    QByteArray ETag;
    QList<ByteSpan> Complete;

    bool operator==(const DownloadState&) const = default;
    // The same remote file (whatever of it arrived).
    bool SameFile(const QByteArray& site, const QByteArray& id) const { return Site == site && Id == id; }
};

QByteArray EncodeDownloadState(const DownloadState& state);
// Nothing when the text is no state file or a value does not read (a
// span outside the length, a negative length ...): the part file beside
// it cannot be trusted then.
std::optional<DownloadState> DecodeDownloadState(const QByteArray& text);

// "0-99,200-299" and back (nothing for text that does not read).
QByteArray SpansText(const QList<ByteSpan>& spans);
std::optional<QList<ByteSpan>> ParseSpansText(const QByteArray& text);

// The part file and state file of a final name.
inline QString PartPathOf(const QString& finalPath) { return finalPath + QStringLiteral(".part"); }
inline QString StatePathOf(const QString& partPath) { return partPath + QStringLiteral(".state"); }

std::optional<DownloadState> ReadDownloadState(const QString& path);
bool WriteDownloadState(const QString& path, const DownloadState& state);

#include "download/downloadstate.h"

#include "download/partfile.h"

#include <QFile>

namespace {

const QByteArray kMagic = "quellix-part 1";

std::optional<qint64> number(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (const char c : text)
        if (c < '0' || c > '9')
            return std::nullopt;
    return text.toLongLong();
}

}  // namespace

QByteArray SpansText(const QList<ByteSpan>& spans) {
    QByteArray text;
    for (const ByteSpan& span : spans) {
        if (!text.isEmpty())
            text += ',';
        text += QByteArray::number(span.Begin) + '-' + QByteArray::number(span.End - 1);
    }
    return text;
}

std::optional<QList<ByteSpan>> ParseSpansText(const QByteArray& text) {
    QList<ByteSpan> spans;
    if (text.isEmpty())
        return spans;
    for (const QByteArray& piece : text.split(',')) {
        const qsizetype dash = piece.indexOf('-');
        const std::optional<qint64> first = number(piece.left(dash));
        const std::optional<qint64> last = number(piece.mid(dash + 1));
        if (dash < 0 || !first || !last || *last < *first)
            return std::nullopt;
        spans.append({*first, *last + 1});
    }
    return spans;
}

QByteArray EncodeDownloadState(const DownloadState& state) {
    const auto line = [](const char* key, const QByteArray& value) {
        return QByteArray(key) + ' ' + value.toPercentEncoding("/:,") + '\n';
    };
    return kMagic + '\n' + line("site", state.Site) + line("id", state.Id) +
           line("length", QByteArray::number(state.Length)) + line("last-modified", state.LastModified) +
           line("etag", state.ETag) + line("complete", SpansText(MergeSpans(state.Complete)));
}

std::optional<DownloadState> DecodeDownloadState(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (lines.value(0).trimmed() != kMagic)
        return std::nullopt;
    DownloadState state;
    bool hasLength = false;
    bool hasSpans = false;
    for (const QByteArray& raw : lines.mid(1)) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : QByteArray::fromPercentEncoding(line.mid(space + 1));
        if (key == "site") {
            state.Site = value;
        } else if (key == "id") {
            state.Id = value;
        } else if (key == "length") {
            const std::optional<qint64> length = number(value);
            if (!length)
                return std::nullopt;
            state.Length = *length;
            hasLength = true;
        } else if (key == "last-modified") {
            state.LastModified = value;
        } else if (key == "etag") {
            state.ETag = value;
        } else if (key == "complete") {
            const std::optional<QList<ByteSpan>> spans = ParseSpansText(value);
            if (!spans)
                return std::nullopt;
            state.Complete = MergeSpans(*spans);
            hasSpans = true;
        }
    }
    if (state.Site.isEmpty() || state.Id.isEmpty() || !hasLength || !hasSpans)
        return std::nullopt;
    // Bytes beyond the length the file is said to have cannot be there.
    if (!state.Complete.isEmpty() && state.Complete.last().End > state.Length)
        return std::nullopt;
    return state;
}

std::optional<DownloadState> ReadDownloadState(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20)
        return std::nullopt;
    return DecodeDownloadState(file.readAll());
}

bool WriteDownloadState(const QString& path, const DownloadState& state) {
    return WriteFileAtomically(path, EncodeDownloadState(state));
}

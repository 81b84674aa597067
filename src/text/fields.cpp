#include "text/fields.h"

#include "text/errors.h"
#include "text/gbk.h"

namespace {

// A cursor over a text that steps one character at a time in code page 936:
// a lead byte and the byte after it form one character, so a trail byte is
// never looked at as a separator, a blank or a quote. A zero byte ends the
// text, as it ends a zero-terminated string.
class GbkCursor {
public:
    explicit GbkCursor(QByteArrayView text) : text_(text) {
        qsizetype zero = text_.indexOf('\0');
        if (zero >= 0)
            text_ = text_.first(zero);
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    unsigned char current() const { return atEnd() ? 0 : static_cast<unsigned char>(text_[pos_]); }
    qsizetype position() const { return pos_; }
    qsizetype size() const { return text_.size(); }
    void next() {
        if (atEnd())
            return;
        pos_ += (IsGbkLeadByte(current()) && pos_ + 1 < text_.size()) ? 2 : 1;
    }
    void skipBlanks() {
        while (!atEnd() && current() >= 1 && current() <= 32)
            next();
    }
    QByteArrayView slice(qsizetype from, qsizetype to) const { return text_.sliced(from, to - from); }
    QByteArrayView rest() const { return text_.sliced(pos_); }
    void moveToEnd() { pos_ = text_.size(); }
    void moveTo(qsizetype pos) { pos_ = pos; }

private:
    QByteArrayView text_;
    qsizetype pos_ = 0;
};

// A quoted item starting at the cursor's opening quote: runs to the next
// quote that is not doubled, a doubled quote standing for one. Without a
// closing quote it runs to the end of the text less its last character.
QByteArray extractQuoted(GbkCursor& cursor) {
    cursor.next();  // opening quote
    QByteArray item;
    while (!cursor.atEnd()) {
        const qsizetype at = cursor.position();
        if (cursor.current() == '"') {
            cursor.next();
            if (cursor.current() != '"')
                return item;  // closing quote
            item.append('"');
            cursor.next();
            continue;
        }
        cursor.next();
        item.append(cursor.slice(at, cursor.position()));
    }
    item.chop(1);
    return item;
}

}  // namespace

QList<QByteArray> SplitItems(char separator, QByteArrayView text) {
    QList<QByteArray> items;
    GbkCursor cursor(text);
    const auto sep = static_cast<unsigned char>(separator);
    cursor.skipBlanks();
    while (!cursor.atEnd()) {
        if (cursor.current() == '"') {
            items.append(extractQuoted(cursor));
        } else {
            const qsizetype from = cursor.position();
            while (!cursor.atEnd() && cursor.current() > 32 && cursor.current() != sep)
                cursor.next();
            items.append(cursor.slice(from, cursor.position()).toByteArray());
        }
        cursor.skipBlanks();
        if (!cursor.atEnd() && cursor.current() == sep) {
            if (cursor.position() + 1 == cursor.size())
                items.append(QByteArray());
            cursor.next();
            cursor.skipBlanks();
        }
    }
    return items;
}

QByteArray PickField(char separator, QByteArrayView text, int index) {
    if (text.isEmpty())
        return QByteArray();
    const QList<QByteArray> items = SplitItems(separator, text);
    if (items.size() < 2)
        return text.toByteArray();
    if (index < 0 || index >= items.size())
        throw EStringListError("List index out of bounds (" + QByteArray::number(index) + ")");
    return items[index];
}

QByteArray TrimBlanks(QByteArrayView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.sliced(begin, end - begin).toByteArray();
}

void SplitWithPositions(QByteArrayView text, QList<PositionedItem>& list, QByteArrayView separator) {
    list.clear();
    const QByteArray trimmed = TrimBlanks(text);
    if (trimmed.isEmpty())
        return;
    const QByteArrayView s(trimmed);
    qsizetype lead = 0;
    while (lead < text.size() && static_cast<unsigned char>(text[lead]) <= 32)
        ++lead;
    // Offsets are 0-based here; the positions reported count from 1.
    auto appendPiece = [&](qsizetype from, qsizetype to) {
        list.append({TrimBlanks(s.sliced(from, to - from)), int(lead + from + 1)});
    };
    qsizetype from = 0;
    qsizetype i = 0;
    while (i < s.size()) {
        if (!separator.isEmpty() && s.sliced(i).startsWith(separator)) {
            if (i > from)
                appendPiece(from, i);
            from = i = i + separator.size();
            continue;
        }
        i += (IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    }
    if (from < s.size())
        appendPiece(from, s.size());
}

int CountOccurrences(QByteArrayView text, QByteArrayView pattern) {
    if (pattern.isEmpty())
        return 0;
    int removed = 0;
    qsizetype at = 0;
    while ((at = text.indexOf(pattern, at)) >= 0) {
        removed += int(pattern.size());
        at += pattern.size();
    }
    return removed;
}

QList<QByteArray> CutLines(QByteArrayView text) {
    qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text = text.first(zero);
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(text.sliced(start, i - start).toByteArray());
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start).toByteArray());
    return lines;
}

QByteArray QuoteItem(char separator, QByteArrayView item) {
    bool needsQuotes = item.isEmpty() || item.startsWith('"');
    for (char c : item)
        needsQuotes = needsQuotes || static_cast<unsigned char>(c) <= 32 || c == separator;
    if (!needsQuotes)
        return item.toByteArray();
    QByteArray quoted = "\"";
    for (char c : item) {
        quoted.append(c);
        if (c == '"')
            quoted.append('"');
    }
    return quoted + "\"";
}

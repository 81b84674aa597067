#pragma once
// Cutting records into items and texts into lines.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Item `index` (from 0) of a record whose items are separated by `separator`
// or by blanks, with double-quoted items (see the .cpp for the whole rule).
// An empty text gives an empty result; a text of fewer than two items is
// returned whole, whatever the index. An index beyond the last item raises
// "List index out of bounds (<index>)".
QByteArray PickField(char separator, QByteArrayView text, int index);

// All items of a record by the rule of PickField.
QList<QByteArray> SplitItems(char separator, QByteArrayView text);

// One piece of a split text and the position (from 1) of its first character
// in the text that was split.
struct PositionedItem {
    QByteArray text;
    int position;
    bool operator==(const PositionedItem&) const = default;
};

// Splits at every occurrence of `separator`, dropping pieces of no
// characters; each piece is trimmed of bytes 0..32. Spaces do not split and
// quotes mean nothing. An occurrence that would start on the second byte of a
// double-byte GBK character is not a separator.
void SplitWithPositions(QByteArrayView text, QList<PositionedItem>& list, QByteArrayView separator);

// Length of the text minus the length of the text with every occurrence of
// the pattern removed (left to right, without overlap).
int CountOccurrences(QByteArrayView text, QByteArrayView pattern);

// The lines of a reply or file text: cut at CR, LF or CR LF; a final line
// break adds no empty line; empty lines in between count; a zero byte ends
// the text.
QList<QByteArray> CutLines(QByteArrayView text);

// Text without leading and trailing bytes of value 0 to 32.
QByteArray TrimBlanks(QByteArrayView text);

// An item written so that the rule of PickField reads it back unchanged:
// enclosed in double quotes (inner quotes doubled) when it is empty, holds a
// blank or control byte or the separator, or begins with a quote.
QByteArray QuoteItem(char separator, QByteArrayView item);

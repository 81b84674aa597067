#pragma once
// Base64 with the standard alphabet (RFC 4648), and the lenient decoder that
// the configuration codecs rely on.

#include <QByteArray>
#include <QByteArrayView>

// Groups of three bytes become four characters; a final short group is
// padded with "="; no line breaks.
QByteArray Base64Encode(QByteArrayView bytes);

// Decodes whole groups of four characters only: a final group of one to three
// characters is ignored. Nothing is skipped: every character takes its place
// in its group, one outside the alphabet counting as 0. An "=" in the third
// place makes its group yield one byte, in the fourth place two bytes; this
// holds for every group, so decoding goes on after an inner "=".
QByteArray Base64Decode(QByteArrayView text);

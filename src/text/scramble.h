#pragma once
// The keyed scrambler that hides configuration texts from casual reading,
// and the three configuration codecs built on it.

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Source of the random start byte (0..255). Tests replace it to get
// repeatable output; by default it is the system's random generator.
using StartByteSource = std::function<int()>;
void SetScrambleStartByteSource(StartByteSource source);

// Upper-case hexadecimal text: two digits for a random start byte, then two
// digits per input byte. The running sum is taken modulo 255 and each value is
// XORed with the next key byte. An empty key uses the server-settings key but
// only ever its first byte.
QByteArray Scramble(QByteArrayView text, QByteArrayView key);

// Reverses Scramble. Raises "'$xx' is not a valid integer value" for a pair
// that is not hexadecimal and for a text shorter than three characters.
QByteArray Unscramble(QByteArrayView hex, QByteArrayView key);

enum class CodecDirection { Encode, Decode };

// The frame is "A" + body + digest tail + "Z"; the body is the text scrambled,
// Base64-encoded, scrambled and Base64-encoded again. The digest tail only
// makes the frame look signed and is never checked.
QByteArray SiteConfigCodec(QByteArrayView text, CodecDirection direction);      // quellix.cfg
QByteArray ServerSettingsCodec(QByteArrayView text, CodecDirection direction);  // settings line of "loadset"
QByteArray SettingsFileCodec(QByteArrayView text, CodecDirection direction);    // settings.cfg

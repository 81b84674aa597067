#pragma once
// The one place where GBK byte strings and Qt's QString meet. Protocol and
// file-format texts stay GBK bytes everywhere else; widgets and local paths
// convert here.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// GBK bytes to text. A byte sequence that is not GBK becomes U+FFFD.
QString FromGbk(QByteArrayView gbk);

// Text to GBK bytes; a character that GBK cannot hold becomes "?".
QByteArray ToGbk(QStringView text);

// Text to GBK bytes, or nothing when a character has no GBK form.
std::optional<QByteArray> ToGbkExact(QStringView text);

// True for the first byte of a double-byte GBK character (code page 936).
inline bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// A UTF-8 source literal as GBK bytes, for system texts written in the
// source: "待上传"_gbk.
QByteArray operator""_gbk(const char* utf8, std::size_t length);

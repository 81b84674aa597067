#pragma once
// Conversions of texts to numbers and booleans. A text that does not convert
// raises EConvertError with the message the user sees.

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// A decimal integer (optional leading blanks, optional sign), or a
// hexadecimal one written with a leading "$" or "0x". Raises
// "'<text>' is not a valid integer value" for anything else and for values
// outside the signed 32-bit range.
int32_t StrToInt(QByteArrayView text);

// As StrToInt, for the signed 64-bit range.
int64_t StrToInt64(QByteArrayView text);

// A number (0 is false, any other value true) or "true"/"false" in any
// letter case. Raises "'<text>' is not a valid boolean value" otherwise.
bool StrToBool(QByteArrayView text);

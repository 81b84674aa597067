#pragma once

#include <QByteArray>
#include <QtGlobal>

// A short size text: "%.2fGB", "%.2fMB", "%.2fKB" or the plain count followed
// by "B". The unit is chosen by integer division first, so 1048575 bytes give
// "1024.00KB". The decimal separator is that of the default locale.
QByteArray SizeText(qint64 byteCount);

#pragma once
// Decoding JPEG data with libjpeg, apart from files and widgets, so that
// every byte sequence a download can bring is decoded the same way.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>

// The picture in `bytes` as 32-bit colour (grey, colour and CMYK pictures
// alike), or a null image when the bytes are not a JPEG picture, are damaged
// or cut short, or the picture is too large to hold in memory; `message`
// then says why.
QImage DecodeJpeg(QByteArrayView bytes, QByteArray* message = nullptr);

#pragma once
// Writing a picture as a baseline JPEG file with libjpeg.

#include <QImage>
#include <QString>

// Writes `image` to `path` with the given quality (1..100); false with a
// message on standard error when it cannot.
bool SaveJpegFile(const QImage& image, const QString& path, int quality);

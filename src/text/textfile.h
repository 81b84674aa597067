#pragma once

#include <QByteArray>
#include <QString>

// Writes `text` followed by CR LF to the file at `path`. With `truncate`, or
// when no file exists there, the file is created empty first; otherwise the
// line is added at the end. The bytes are written unconverted. Raises
// EInOutError when the file cannot be created, opened, written or closed.
void WriteTextLine(const QString& path, const QByteArray& text, bool truncate);

// The lines of a text file, each followed by CR LF, joined into one text:
// how the configuration files are read. Raises EInOutError when the file
// cannot be read.
QByteArray ReadTextFileJoined(const QString& path);

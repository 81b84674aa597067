#pragma once
// File services that the program's features lean on: exact file sizes and a
// line-appending writer for the debug log.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Exact size in bytes of the file at `path`, 64 bits wide; -1 when no
// readable file is there (a folder counts as no file).
qint64 FileSizeByName(const QString& path);

// Appends `line` and a line break to the file at `path`, creating the file
// when it does not exist. Failures are ignored: the debug log is best effort.
void WriteToFile(const QString& path, const QByteArray& line);

#pragma once
// The structure check of a skin package before it is handed to Qt's resource
// system. A package is a binary Qt resource file (`rcc -binary`); Qt reads
// such a file in memory trusting every offset in it, so a package cut short by
// an interrupted download, or any damaged one, would make it read past the end
// of the data. Every offset is checked here first.

#include <QByteArray>

// True when `data` is a binary resource file (format versions 1 to 3) whose
// header, directory tree, names and file contents all lie inside `data`, and
// whose tree has no cycles, and whose compressed files (zlib or zstd) do
// not claim more than 64 MiB each once decompressed.
bool IsWellFormedResourceFile(const QByteArray& data);

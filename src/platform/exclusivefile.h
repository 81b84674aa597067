#pragma once
// Files opened for exclusive use. A transfer that writes into a temporary
// file holds it this way, so that a later attempt to take the same file (a
// second click that would truncate a file another transfer still writes
// into) finds it busy instead of spoiling it. On POSIX systems the
// exclusivity is an advisory whole-file lock (flock), which every
// OpenExclusive of this program, in any process, respects; the lock goes
// when the file is closed.

#include <QFile>
#include <QString>

enum class ExclusiveOpen {
    Opened,  // open, and held for exclusive use
    Busy,    // another open file holds it; nothing was changed
    Failed,  // it cannot be opened at all (see the file's errorString)
};

// Opens `file` (named already) with `mode` and takes it for exclusive use.
// `mode` must not truncate, so that a busy file keeps its bytes: call
// resize(0) after success to empty it.
ExclusiveOpen OpenExclusive(QFile& file, QIODevice::OpenMode mode);

// True when a file exists at `path` that another open file holds for
// exclusive use.
bool FileHeldOpen(const QString& path);

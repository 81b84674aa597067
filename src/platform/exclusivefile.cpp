#include "platform/exclusivefile.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/file.h>
#endif

ExclusiveOpen OpenExclusive(QFile& file, QIODevice::OpenMode mode) {
    Q_ASSERT(!(mode & QIODevice::Truncate));
    if (!file.open(mode))
        return ExclusiveOpen::Failed;
#ifdef Q_OS_UNIX
    int rc;
    do {
        rc = ::flock(file.handle(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool busy = errno == EWOULDBLOCK;
        file.close();
        return busy ? ExclusiveOpen::Busy : ExclusiveOpen::Failed;
    }
#endif
    return ExclusiveOpen::Opened;
}

bool FileHeldOpen(const QString& path) {
    if (!QFile::exists(path))
        return false;
    QFile probe(path);
    // The probe's own lock goes when it closes at the end of this function.
    return OpenExclusive(probe, QIODevice::ReadWrite) == ExclusiveOpen::Busy;
}

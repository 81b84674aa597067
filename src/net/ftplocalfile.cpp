#include "net/ftplocalfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray errnoText(int error) { return QByteArray(std::strerror(error)); }

// Errors of flock that say the file system cannot lock rather than that
// someone holds the file: NFS without a lock service (ENOLCK), NFS mounts
// that lock through fcntl and want a descriptor open for writing to lock
// exclusively (EBADF), file systems without locks (EINVAL, EOPNOTSUPP).
bool fileSystemCannotLock(int error) {
    return error == ENOLCK || error == EBADF || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

}  // namespace

bool FtpLocalFile::open(const QString& path, TFtpShareMode mode, QByteArray& errorText) {
    close();
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        errorText = errnoText(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        errorText = errnoText(EISDIR);
        return false;
    }
    int lock = 0;
    switch (mode) {
    case ftpShareExclusive:
    case ftpShareDenyRead: lock = LOCK_EX; break;
    case ftpShareDenyWrite: lock = LOCK_SH; break;
    case ftpShareCompat:
    case ftpShareDenyNone: break;
    }
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        const int error = errno;
        if (!fileSystemCannotLock(error)) {
            ::close(fd);
            errorText =
                error == EWOULDBLOCK
                    ? QByteArray("The process cannot access the file because it is being used by another process.")
                    : errnoText(error);
            return false;
        }
        // The lock only keeps out other programs that lock too; a file
        // system that cannot lock at all must not cost the user the file.
    }
    // Stores read the file once from front to back.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    fd_ = fd;
    return true;
}

bool FtpLocalFile::seek(qint64 offset) {
    if (fd_ < 0 || offset < 0)
        return false;
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || offset > info.st_size)
        return false;
    return ::lseek(fd_, off_t(offset), SEEK_SET) == off_t(offset);
}

qint64 FtpLocalFile::read(char* buffer, qint64 maxSize, QByteArray& errorText) {
    if (fd_ < 0) {
        errorText = errnoText(EBADF);
        return -1;
    }
    ssize_t n;
    do
        n = ::read(fd_, buffer, size_t(maxSize));
    while (n < 0 && errno == EINTR);
    if (n < 0)
        errorText = errnoText(errno);
    return qint64(n);
}

void FtpLocalFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);  // also releases the lock
        fd_ = -1;
    }
}

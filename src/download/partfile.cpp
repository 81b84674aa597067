#include "download/partfile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PartFile::~PartFile() { Release(); }

bool PartFile::openWith(const QString& path, int flags) {
    Release();
    path_ = path;
    lastErrno_ = 0;
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), flags | O_WRONLY | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return fail(errno);
    // Unbuffered: every write reaches the system at once, at its position.
    return QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool PartFile::createNew(const QString& path) { return openWith(path, O_CREAT | O_EXCL); }

bool PartFile::openExisting(const QString& path) { return openWith(path, 0); }

bool PartFile::fail(int error) {
    lastErrno_ = error;
    setErrorString(QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

bool PartFile::Sync() {
    if (fd_ < 0)
        return fail(EBADF);
    return ::fdatasync(fd_) == 0 || fail(errno);
}

bool PartFile::Resize(qint64 size) {
    if (fd_ < 0)
        return fail(EBADF);
    return ::ftruncate(fd_, off_t(size)) == 0 || fail(errno);
}

bool PartFile::Release() {
    if (isOpen())
        QIODevice::close();
    if (fd_ < 0)
        return true;
    const int fd = fd_;
    fd_ = -1;
    // A failed close may be the first news of a write the disk refused.
    return ::close(fd) == 0 || fail(errno);
}

qint64 PartFile::size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0)
        return 0;
    return qint64(info.st_size);
}

bool PartFile::seek(qint64 position) { return position >= 0 && QIODevice::seek(position); }

qint64 PartFile::readData(char*, qint64) { return -1; }

qint64 PartFile::writeData(const char* data, qint64 size) {
    if (fd_ < 0) {
        fail(EBADF);
        return -1;
    }
    qint64 written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(fd_, data + written, size_t(size - written), off_t(pos() + written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
            return -1;
        }
        if (n == 0) {
            fail(ENOSPC);
            return -1;
        }
        written += n;
    }
    return written;
}

bool RenameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link fails when the name is
    // taken, just as the rename would.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const QString temporary = path + QStringLiteral(".tmp");
    const QByteArray name = QFile::encodeName(temporary);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    qsizetype written = 0;
    bool ok = true;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        written += ok ? n : 0;
    }
    ok = ok && ::fdatasync(fd) == 0;
    const int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(name.constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    ::unlink(name.constData());
    errno = savedErrno;
    return false;
}

QString DiskFailureText(int error) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QString::fromUtf8("磁盘空间不足");
    case EACCES:
    case EPERM:
    case EROFS:
        return QString::fromUtf8("目录无法写入");
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case ESTALE:
        return QString::fromUtf8("保存目录不存在");
    case EIO:
        return QString::fromUtf8("磁盘读写错误");
    default:
        return QString::fromUtf8("写入失败：") + QString::fromLocal8Bit(std::strerror(error));
    }
}

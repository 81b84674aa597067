#pragma once
// The local files of an unfinished download: "<final name>.part" holds the
// bytes as they arrive, each written straight at its place; the state file
// beside it says which of them are there (downloadstate.h). Only when every
// byte is there does the part file get its final name, and that rename
// never replaces a file.
//
// PartFile writes through the system calls itself (no buffer in between),
// so a failed write tells its exact cause (a full disk, a folder that cannot
// be written, a drive that is gone), and Sync() puts what was written on the
// disk before the state file may claim it.

#include <QByteArray>
#include <QIODevice>
#include <QString>

class PartFile : public QIODevice {
    Q_OBJECT
public:
    PartFile() = default;
    ~PartFile() override;

    // Opens `path` for writing at any position: a new file (false when the
    // name is taken or cannot be created) or an existing one, kept as it is.
    bool createNew(const QString& path);
    bool openExisting(const QString& path);
    const QString& path() const { return path_; }

    // Writes what was written to the disk (fdatasync). False on failure.
    bool Sync();
    // Cuts or extends the file to `size` bytes.
    bool Resize(qint64 size);
    // Closes the file for good (QIODevice::close only stops the writing;
    // the downloader closes its stream before the owner has synced it).
    bool Release();

    // The system's error number of the last failure, 0 when none.
    int LastErrno() const { return lastErrno_; }

    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 position) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool openWith(const QString& path, int flags);
    bool fail(int error);

    int fd_ = -1;
    QString path_;
    int lastErrno_ = 0;
};

// Renames `from` to `to` only when nothing has the name `to`; false (and
// errno set) otherwise. Never replaces a file that appeared meanwhile.
bool RenameWithoutReplacing(const QString& from, const QString& to);

// Replaces `path` with `bytes` so that a crash or a power loss leaves either
// the old or the new content: written to "<path>.tmp", synced, renamed.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

// The reason a local file could not be written, as the queue shows it:
// "磁盘空间不足" (disk full), "目录无法写入" (folder not writable),
// "保存目录不存在" (the folder or its drive is gone), "磁盘读写错误" (the
// device failed), or the system's text.
QString DiskFailureText(int error);

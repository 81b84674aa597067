#pragma once
// The local file a store reads, opened with the sharing mode of the FTP
// client. Linux has no mandatory sharing modes; advisory locks (flock) stand
// in for them, so two programs that both lock keep out of each other's way.

#include "net/ftptypes.h"

#include <QByteArray>
#include <QString>

class FtpLocalFile {
public:
    FtpLocalFile() = default;
    ~FtpLocalFile() { close(); }
    FtpLocalFile(const FtpLocalFile&) = delete;
    FtpLocalFile& operator=(const FtpLocalFile&) = delete;

    // Opens `path` for reading. ftpShareExclusive and ftpShareDenyRead take
    // an exclusive lock, ftpShareDenyWrite a shared one, without waiting:
    // the open fails while another holder has a conflicting lock. On a file
    // system that cannot lock (NFS without locking, for one) the file is
    // opened without the lock. On failure `errorText` says why.
    bool open(const QString& path, TFtpShareMode mode, QByteArray& errorText);
    bool isOpen() const { return fd_ >= 0; }
    // Positions at `offset`; false when the file is shorter or cannot seek.
    bool seek(qint64 offset);
    // Up to `maxSize` bytes; 0 at the end of the file, -1 on a read error
    // (errorText says which).
    qint64 read(char* buffer, qint64 maxSize, QByteArray& errorText);
    void close();

private:
    int fd_ = -1;
};

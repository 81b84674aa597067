#include "platform/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

SingleInstanceGuard::SingleInstanceGuard(const QString& name) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    path_ = folder + QLatin1Char('/') + name + QLatin1String(".lock");
}

bool SingleInstanceGuard::acquire() {
    lock_ = std::make_unique<QLockFile>(path_);
    lock_->setStaleLockTime(0);  // only a dead owner's lock is stale
    if (lock_->tryLock(0))
        return true;
    return lock_->error() != QLockFile::LockFailedError;
}

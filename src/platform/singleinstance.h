#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

// One running copy per user: a lock file named after the guard in the
// user's runtime folder (or the temporary folder). The lock of a copy that
// died is taken over.
class SingleInstanceGuard {
public:
    explicit SingleInstanceGuard(const QString& name);
    // True when this process now holds the guard; false when another running
    // copy holds it. When the lock file cannot be made at all the program
    // runs without the guard, so this gives true.
    bool acquire();
    QString lockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

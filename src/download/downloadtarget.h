#pragma once
// Naming and creating the local file of a download. The name comes from the
// site's listing (or what the user typed over it) and must never reach
// outside the chosen folder; an existing file is never overwritten: a taken
// name gets "_" and two random characters before its extension, drawn again
// until the name is free.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>

// `name` as one file name inside a folder: path separators ("/", "\") and
// control characters become "_", and a name that is empty or only dots
// ("." and ".." name folders, not files) becomes as many "_" (at least one).
QString SafeLocalFileName(const QString& name);

// The name without and with its extension: the extension starts at the last
// "." and keeps it ("a.tar.gz" gives "a.tar" and ".gz"; "README" gives
// "README" and "").
struct FileNameParts {
    QString base;
    QString ext;
};
FileNameParts SplitExtension(const QString& name);

// `length` characters drawn uniformly from A-Z, a-z and 0-9.
QString RandomText(int length);

// The local file of a download, created empty and open for writing.
struct DownloadTarget {
    QString path;
    std::unique_ptr<QFile> file;
};

// Creates the file `name` (made safe) in `folder` (ending with "/"). When a
// file or folder of that name exists, base + "_" + suffix() + ext is tried,
// with a new suffix for every try, until one can be created; creation never
// replaces a file that appeared in between. Raises EInOutError when the
// file cannot be created, or when `maxTries` suffixes were all taken.
// `suffix` defaults to RandomText(2).
DownloadTarget CreateDownloadTarget(const QString& folder, const QString& name,
                                    const std::function<QString()>& suffix = nullptr, int maxTries = 20000);

// The address the download of file `id` is fetched from: the site's client
// script with the id and the account's credentials, nothing escaped.
QByteArray DownloadAddress(const QByteArray& siteUrl, const QByteArray& id, const QByteArray& accountName,
                           const QByteArray& accountToken);

#include "site_listing.h"

#include "disk/listingrequest.h"
#include "text/convert.h"
#include "text/errors.h"

#include <QQueue>
#include <QSet>

QList<QByteArray> ListFolderLines(SiteConnection& site, int folderId, int goBack) {
    FolderListingRequest listing(site.Session());
    listing.HttpMydisk.Connector = site.Connector;
    bool done = false;
    QList<QByteArray> lines;
    QByteArray failure;
    listing.OnListing = [&](const QList<QByteArray>& reply) {
        lines = reply;
        done = true;
    };
    listing.OnFailed = [&](quint16 errCode, int status) {
        failure = errCode != 0 ? "the listing request failed (error " + QByteArray::number(errCode) + ")"
                               : "the site answered the listing of folder " + QByteArray::number(folderId) +
                                     " with status " + QByteArray::number(status);
        done = true;
    };
    listing.RequestFolderListing(folderId, goBack);
    WaitForSite([&] { return done; }, "the listing request", 120000);
    if (!failure.isEmpty())
        throw SiteFailure(failure);
    return lines;
}

QList<RemoteEntry> ReadListing(const QList<QByteArray>& lines, QList<RemoteEntry>* rowsBefore) {
    QList<RemoteEntry> entries;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        try {
            entries.append(ParseListingLine(lines[i]));
        } catch (const QxError& error) {
            if (rowsBefore)
                *rowsBefore = entries;
            throw SiteFailure("line " + QByteArray::number(i + 1) + " of the listing cannot be read: " +
                              GbkToTerminal(error.message()));
        }
    }
    return entries;
}

FoundEntries FindEntries(SiteConnection& site, const QList<QByteArray>& fileIds, const QList<QByteArray>& folderIds) {
    QSet<QByteArray> ids(fileIds.cbegin(), fileIds.cend());
    ids.unite(QSet<QByteArray>(folderIds.cbegin(), folderIds.cend()));
    FoundEntries found;
    const auto allFound = [&] {
        for (const QByteArray& id : fileIds)
            if (!found.files.contains(id))
                return false;
        for (const QByteArray& id : folderIds)
            if (!found.folders.contains(id))
                return false;
        return true;
    };
    QQueue<int> folders;
    QSet<int> seen{0};
    folders.enqueue(0);
    while (!folders.isEmpty() && !allFound()) {
        const int folder = folders.dequeue();
        for (const RemoteEntry& entry : ReadListing(ListFolderLines(site, folder))) {
            if (ids.contains(entry.Id)) {
                QMap<QByteArray, RemoteEntry>& kind = entry.IsFolder ? found.folders : found.files;
                if (!kind.contains(entry.Id))
                    kind.insert(entry.Id, entry);
            }
            if (entry.IsFolder && IsFolderId(entry.Id)) {
                const int id = StrToInt(entry.Id);
                if (!seen.contains(id)) {
                    seen.insert(id);
                    folders.enqueue(id);
                }
            }
        }
    }
    return found;
}

QMap<QByteArray, RemoteEntry> FindFiles(SiteConnection& site, const QList<QByteArray>& ids) {
    const FoundEntries found = FindEntries(site, ids, {});
    QMap<QByteArray, RemoteEntry> result;
    for (const QByteArray& id : ids) {
        if (found.files.contains(id))
            result.insert(id, found.files[id]);
        else if (found.folders.contains(id))
            result.insert(id, found.folders[id]);
    }
    return result;
}

bool IsEntryId(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18)
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

bool IsFolderId(const QByteArray& text) {
    bool ok = false;
    return IsEntryId(text) && text.toInt(&ok) >= 0 && ok;
}

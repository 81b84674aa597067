#include "site_listing.h"

#include "disk/listingrequest.h"
#include "text/convert.h"
#include "text/errors.h"

#include <QQueue>
#include <QSet>
#include <memory>
#include <vector>

namespace {

// Listing requests of a search on their way at once.
constexpr int kListingsAtOnce = 8;

}  // namespace

QList<QByteArray> ListFolderLines(SiteConnection& site, int folderId, int goBack) {
    return ListFoldersLines(site, {folderId}, goBack).value(0);
}

QList<QList<QByteArray>> ListFoldersLines(SiteConnection& site, const QList<int>& folderIds, int goBack) {
    // One request (with its own client) per folder, all on their way at
    // once: on a link with latency the listings then cost one round trip
    // together instead of one each.
    std::vector<std::unique_ptr<FolderListingRequest>> requests;
    QList<QList<QByteArray>> lines(folderIds.size());
    QList<QByteArray> failures(folderIds.size());
    int pending = int(folderIds.size());
    for (qsizetype i = 0; i < folderIds.size(); ++i) {
        const int folderId = folderIds[i];
        auto listing = std::make_unique<FolderListingRequest>(site.Session());
        listing->HttpMydisk.Connector = site.Connector;
        listing->OnListing = [&, i](const QList<QByteArray>& reply) {
            lines[i] = reply;
            --pending;
        };
        listing->OnFailed = [&, i, folderId](quint16 errCode, int status) {
            failures[i] = errCode != 0 ? "the listing request failed (error " + QByteArray::number(errCode) + ")"
                                       : "the site answered the listing of folder " + QByteArray::number(folderId) +
                                             " with status " + QByteArray::number(status);
            --pending;
        };
        requests.push_back(std::move(listing));
    }
    for (qsizetype i = 0; i < folderIds.size(); ++i)
        requests[i]->RequestFolderListing(folderIds[i], goBack);
    WaitForSite([&] { return pending == 0; }, "the listing request", 120000);
    for (const QByteArray& failure : std::as_const(failures))
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
        // The next folders of the walk are listed together; their entries
        // are taken in the walk's order, so the first entry of an id is the
        // one a walk of one folder at a time would find.
        QList<int> batch;
        while (!folders.isEmpty() && batch.size() < kListingsAtOnce)
            batch << folders.dequeue();
        for (const QList<QByteArray>& lines : ListFoldersLines(site, batch)) {
            for (const RemoteEntry& entry : ReadListing(lines)) {
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

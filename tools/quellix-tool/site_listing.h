#pragma once
// Folder listings for the site commands, with the listing request of the
// main window: one folder, or a search of the whole disk for the entries of
// given ids (the way a user browses to a file before downloading it or
// asking for its links).

#include "site_session.h"

#include "disk/remotelisting.h"

#include <QByteArray>
#include <QList>
#include <QMap>

// The reply lines of folder `folderId` (goBack 1: of the folder above it).
// Raises SiteFailure when the request fails.
QList<QByteArray> ListFolderLines(SiteConnection& site, int folderId, int goBack = 0);

// The reply lines of each folder of `folderIds`, in that order, the requests
// sent at once. Raises SiteFailure for the first (in that order) that fails.
QList<QList<QByteArray>> ListFoldersLines(SiteConnection& site, const QList<int>& folderIds, int goBack = 0);

// The entries of those lines; raises SiteFailure naming the first line that
// cannot be read, after `rowsBefore` got the entries before it.
QList<RemoteEntry> ReadListing(const QList<QByteArray>& lines, QList<RemoteEntry>* rowsBefore = nullptr);

// The files with the given ids (decimal text), found by listing the root
// and then every folder below it, breadth first (several folders listed
// at once), until all are found.
// Folders and files are numbered apart, so a folder may carry a file's id:
// an id that names no file but a folder gives that folder (the caller says
// it is no file). Ids not found are missing from the result.
QMap<QByteArray, RemoteEntry> FindFiles(SiteConnection& site, const QList<QByteArray>& ids);

// Files and folders by id. Folders and files are numbered apart, so an id
// may name both: the walk (the root, then every folder below it, breadth
// first) goes on until every id of `fileIds` was found as a file and every
// id of `folderIds` as a folder, and keeps on the way every file and folder
// with one of those ids, so that a caller can tell a folder asked for as a
// file (and the other way round) from an id the disk does not hold.
struct FoundEntries {
    QMap<QByteArray, RemoteEntry> files;
    QMap<QByteArray, RemoteEntry> folders;
};
FoundEntries FindEntries(SiteConnection& site, const QList<QByteArray>& fileIds, const QList<QByteArray>& folderIds);

// True for a file id as the site writes it: decimal digits only.
bool IsEntryId(const QByteArray& text);
// True for a folder id: an entry id that fits the listing request's number.
bool IsFolderId(const QByteArray& text);

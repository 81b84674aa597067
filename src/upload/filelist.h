#pragma once
// What the client tells the site about its uploads: the name under which a
// file is stored on the FTP server, the "fl" list that announces the queue,
// the bodies of the registration requests, and the lines of the site's list
// of unfinished uploads.
//
// All texts are GBK bytes and go into the bodies unescaped, as every site
// request does; names and folders holding ">" or "|" never reach the queue,
// so the list stays readable.

#include <QByteArray>
#include <QtGlobal>

// The remote name of the file at `path` (GBK bytes) with `size` bytes:
// the MD5 of the path followed by the size in decimal, as 32 hexadecimal
// digits, then the path's extension (from the last "." after the last "/",
// dot included), all with ASCII capitals turned into small letters. A file
// keeps its name while its path and size stay; a changed size gives a new
// one.
QByteArray RemoteFileName(const QByteArray& path, qint64 size);

// One entry of the "fl" list: remote name ">" size ">" file name ">" folder
// "|". The folder is taken as it stands (normally ending with "/"), so that
// folder + name is the path the remote name was made of.
QByteArray FileListEntry(const QByteArray& fileName, const QByteArray& folderPath, qint64 size);

// The registration bodies. "postlist" announces the "fl" list and the
// remote folder the files go to; "update" and "resume" carry only the
// account.
QByteArray PostFileListBody(const QByteArray& action, const QByteArray& fileList, int folderId,
                            const QByteArray& accountName, const QByteArray& accountToken);
QByteArray SubActionBody(const QByteArray& action, const QByteArray& accountName, const QByteArray& accountToken);

// One file of the site's list of unfinished uploads: "name|size|folder".
struct ResumeEntry {
    QByteArray fileName;
    qint32 size = 0;
    QByteArray folderPath;
};

// Reads a resume line. Items are trimmed and empty ones dropped; a line of
// fewer than three items raises "List index out of bounds (n)", a size that
// is not a signed 32-bit decimal raises "'text' is not a valid integer
// value".
ResumeEntry ParseResumeLine(const QByteArray& line);

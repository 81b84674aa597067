#pragma once
// Ready-to-paste links to the files selected in the remote listing: the page
// address, a forum (UBB) link, or the two-line publishing form.

#include <QByteArray>
#include <QList>

enum class LinkKind { Url, Ubb, Post };

// A file row of the listing: its caption and the text of its ID column.
struct LinkedFile {
    QByteArray Name;
    QByteArray Id;
};

// The file page address: SiteUrl + "file-" + Id + ".html".
QByteArray FilePageAddress(const QByteArray& siteUrl, const QByteArray& id);

// One entry per file, each ended by CR LF ("post" entries by an empty line
// as well). Names and ids go in unescaped.
QByteArray BuildLinkText(LinkKind kind, const QByteArray& siteUrl, const QList<LinkedFile>& files);

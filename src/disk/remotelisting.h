#pragma once
// The folder listing's bytes: the "mydisk" request body, its reply lines (one
// entry per line, eight "|"-separated fields) read into entries, and the texts
// a row of the listing shows for an entry. The main window's list and
// quellix-tool both present these.

#include <QByteArray>
#include <QList>

struct RemoteEntry {
    QByteArray Name;
    qint32 Size = 0;
    QByteArray Type;
    bool IsFolder = false;
    QByteArray Id;
    QByteArray Created;
    QByteArray Views;
    QByteArray Downloads;
};

// "action=mydisk&folder_id=" + folderId + "&goback=" + goBack + credentials,
// nothing escaped.
QByteArray ListingRequestBody(int folderId, int goBack, const QByteArray& accountName,
                              const QByteArray& accountToken);

// One reply line. Fields are cut at "|", trimmed, and empty fields dropped
// (later fields move forward). Raises "List index out of bounds (n)" for a
// line of fewer than eight fields, and the conversion errors for a Size that
// is not a 32-bit integer or an IsFolder that is not a number, "True" or
// "False".
RemoteEntry ParseListingLine(const QByteArray& line);

// The texts of an entry's row (GBK): a folder shows the size "-" and the type
// "文件夹", a file the size text of its Size and its Type + "文件".
struct ListingRowTexts {
    QByteArray Name;
    QByteArray SizeText;
    QByteArray TypeText;
    QByteArray Created;
    QByteArray Views;
    QByteArray Downloads;
    QByteArray Id;
};
ListingRowTexts RowTexts(const RemoteEntry& entry);

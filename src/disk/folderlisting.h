#pragma once
// The folder listing: the "mydisk" request body, the reply lines (one entry
// per line, eight "|"-separated fields), and the rows of the list lv1. The
// rows are the only store of the listing; a folder row has the size text
// "-", the placeholder row an empty one.

#include <QByteArray>
#include <QList>
#include <QString>

class TListView;

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

// Columns of lv1 after the caption (sub-item indices).
namespace ListingColumn {
constexpr int Size = 0;
constexpr int Type = 1;
constexpr int Created = 2;
constexpr int Views = 3;
constexpr int Downloads = 4;
constexpr int Id = 5;
}  // namespace ListingColumn

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

// Replaces the rows of lv1 with the reply: the placeholder row
// "...暂无文件..." for a reply without lines, else one row per line in reply
// order. A line that cannot be presented stops the fill there: the rows
// before it stay and its error is raised.
void FillListing(TListView& lv1, const QList<QByteArray>& lines);

// A click in lv1: SelectedKind becomes "file", or "folder" with
// CurrentFolderId the ID of the last selected folder row in list order.
void TakeListingSelection(const TListView& lv1, int& currentFolderId, QByteArray& selectedKind);

// A row's presentation, for tests and the link and download features.
bool IsFolderRow(const TListView& lv1, int row);
bool IsFileRow(const TListView& lv1, int row);  // not a folder, not the placeholder

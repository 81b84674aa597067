#pragma once
// The folder listing in the list lv1. The rows are the only store of the
// listing; a folder row has the size text "-", the placeholder row an empty
// one. The request and the reading of its lines are in remotelisting.h.

#include "disk/remotelisting.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TListView;

// Columns of lv1 after the caption (sub-item indices).
namespace ListingColumn {
constexpr int Size = 0;
constexpr int Type = 1;
constexpr int Created = 2;
constexpr int Views = 3;
constexpr int Downloads = 4;
constexpr int Id = 5;
}  // namespace ListingColumn

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

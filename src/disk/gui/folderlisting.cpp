#include "disk/gui/folderlisting.h"

#include "platform/gui/icons.h"
#include "platform/gui/listview.h"
#include "text/convert.h"
#include "text/gbk.h"

namespace {

const QString kFolderSizeText = QStringLiteral("-");

// Ends a bulk update of the list whatever happens in between.
class UpdateScope {
public:
    explicit UpdateScope(TListView& list) : list_(list) { list_.BeginUpdate(); }
    ~UpdateScope() { list_.EndUpdate(); }

private:
    TListView& list_;
};

}  // namespace

void FillListing(TListView& lv1, const QList<QByteArray>& lines) {
    // The old rows go and the new ones come as one model reset, which views
    // and assistive technology take in at once, however many rows there are.
    UpdateScope update(lv1);
    lv1.Clear();
    lv1.SetImageLists(GetSystemImageListHandle(1), GetSystemImageListHandle(0));
    if (lines.isEmpty()) {
        lv1.AddRow(QString::fromUtf8("...暂无文件..."), GetSystemIconIndexA(QString(), 0),
                   {QString(), QString(), QString(), QString()});
        return;
    }
    for (const QByteArray& line : lines) {
        const RemoteEntry entry = ParseListingLine(line);
        const ListingRowTexts row = RowTexts(entry);
        const QString name = FromGbk(row.Name);
        lv1.AddRow(name, GetSystemIconIndexA(name, entry.IsFolder ? 1 : 0),
                   {FromGbk(row.SizeText), FromGbk(row.TypeText), FromGbk(row.Created), FromGbk(row.Views),
                    FromGbk(row.Downloads), FromGbk(row.Id)});
    }
}

void TakeListingSelection(const TListView& lv1, int& currentFolderId, QByteArray& selectedKind) {
    selectedKind = "file";
    for (int row = 0; row < lv1.Count(); ++row) {
        if (lv1.Selected(row) && IsFolderRow(lv1, row)) {
            currentFolderId = StrToInt(ToGbk(lv1.SubItem(row, ListingColumn::Id)));
            selectedKind = "folder";
        }
    }
}

bool IsFolderRow(const TListView& lv1, int row) { return lv1.SubItem(row, ListingColumn::Size) == kFolderSizeText; }

bool IsFileRow(const TListView& lv1, int row) {
    const QString size = lv1.SubItem(row, ListingColumn::Size);
    return !size.isEmpty() && size != kFolderSizeText;
}

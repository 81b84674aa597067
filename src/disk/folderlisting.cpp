#include "disk/folderlisting.h"

#include "platform/gui/icons.h"
#include "platform/gui/listview.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"
#include "text/sizetext.h"

namespace {

const QString kFolderSizeText = QStringLiteral("-");

// Reading the field list the way the listing is defined: an index past the
// end is an error.
class Fields {
public:
    explicit Fields(const QByteArray& line) { SplitWithPositions(line, items_, "|"); }
    const QByteArray& operator[](int index) const {
        if (index >= items_.size())
            throw EStringListError("List index out of bounds (" + QByteArray::number(index) + ")");
        return items_[index].text;
    }

private:
    QList<PositionedItem> items_;
};

// Ends a bulk update of the list whatever happens in between.
class UpdateScope {
public:
    explicit UpdateScope(TListView& list) : list_(list) { list_.BeginUpdate(); }
    ~UpdateScope() { list_.EndUpdate(); }

private:
    TListView& list_;
};

}  // namespace

QByteArray ListingRequestBody(int folderId, int goBack, const QByteArray& accountName,
                              const QByteArray& accountToken) {
    return "action=mydisk&folder_id=" + QByteArray::number(folderId) + "&goback=" + QByteArray::number(goBack) +
           "&username=" + accountName + "&password=" + accountToken;
}

RemoteEntry ParseListingLine(const QByteArray& line) {
    const Fields fields(line);
    RemoteEntry entry;
    entry.Name = fields[0];
    entry.IsFolder = StrToBool(fields[3]);
    if (!entry.IsFolder) {
        entry.Size = StrToInt(fields[1]);
        entry.Type = fields[2];
    }
    entry.Id = fields[4];
    entry.Created = fields[5];
    entry.Views = fields[6];
    entry.Downloads = fields[7];
    return entry;
}

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
        const QString name = FromGbk(entry.Name);
        const QStringList tail = {FromGbk(entry.Created), FromGbk(entry.Views), FromGbk(entry.Downloads),
                                  FromGbk(entry.Id)};
        if (entry.IsFolder)
            lv1.AddRow(name, GetSystemIconIndexA(name, 1), QStringList{kFolderSizeText, QString::fromUtf8("文件夹")} + tail);
        else
            lv1.AddRow(name, GetSystemIconIndexA(name, 0),
                       QStringList{FromGbk(SizeText(entry.Size)), FromGbk(entry.Type + "文件"_gbk)} + tail);
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

#include "disk/remotelisting.h"

#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"
#include "text/sizetext.h"

namespace {

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

ListingRowTexts RowTexts(const RemoteEntry& entry) {
    ListingRowTexts row;
    row.Name = entry.Name;
    if (entry.IsFolder) {
        row.SizeText = "-";
        row.TypeText = "文件夹"_gbk;
    } else {
        row.SizeText = SizeText(entry.Size);
        row.TypeText = entry.Type + "文件"_gbk;
    }
    row.Created = entry.Created;
    row.Views = entry.Views;
    row.Downloads = entry.Downloads;
    row.Id = entry.Id;
    return row;
}

#include "upload/filelist.h"

#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/md5.h"

#include <QList>

namespace {

// "/" and "." never occur as the second byte of a GBK character, so a plain
// byte search finds the real separator and dot.
QByteArray Extension(const QByteArray& path) {
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    const qsizetype dot = path.lastIndexOf('.');
    return dot >= nameStart ? path.mid(dot) : QByteArray();
}

// Byte by byte, only A..Z: the remote name must be the same bytes the
// server and the site see, whatever the locale.
QByteArray AsciiLower(QByteArray text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

}  // namespace

QByteArray RemoteFileName(const QByteArray& path, qint64 size) {
    return AsciiLower(Md5Hex(path + QByteArray::number(size)) + Extension(path));
}

QByteArray FileListEntry(const QByteArray& fileName, const QByteArray& folderPath, qint64 size) {
    return RemoteFileName(folderPath + fileName, size) + '>' + QByteArray::number(size) + '>' + fileName + '>' +
           folderPath + '|';
}

QByteArray PostFileListBody(const QByteArray& action, const QByteArray& fileList, int folderId,
                            const QByteArray& accountName, const QByteArray& accountToken) {
    return "action=" + action + "&fl=" + fileList + "&folder_id=" + QByteArray::number(folderId) +
           "&username=" + accountName + "&password=" + accountToken;
}

QByteArray SubActionBody(const QByteArray& action, const QByteArray& accountName, const QByteArray& accountToken) {
    return "action=" + action + "&username=" + accountName + "&password=" + accountToken;
}

ResumeEntry ParseResumeLine(const QByteArray& line) {
    QList<PositionedItem> items;
    SplitWithPositions(line, items, "|");
    // The items are read in order, so the first missing one names the index.
    const auto item = [&items](int index) -> const QByteArray& {
        if (index >= items.size())
            throw EStringListError("List index out of bounds (" + QByteArray::number(index) + ")");
        return items[index].text;
    };
    ResumeEntry entry;
    entry.fileName = item(0);
    entry.size = StrToInt(item(1));
    entry.folderPath = item(2);
    return entry;
}

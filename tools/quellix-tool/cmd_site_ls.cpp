// site ls [FOLDER_ID] [--json]: one folder of the disk, as the main window's
// list shows it (same rows, same order), as an aligned table or as JSON lines.

#include "site_listing.h"
#include "site_terminal.h"

#include "text/gbk.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace {

// Columns a character takes on a terminal: two for the wide East Asian
// characters (the Chinese names of a disk), one for the others.
int columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
                      (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                      (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

int columnsOf(const QString& text) {
    int columns = 0;
    for (const char32_t c : text.toUcs4())
        columns += columnsOf(c);
    return columns;
}

QByteArray tableText(const QList<RemoteEntry>& entries) {
    QList<QStringList> rows;
    rows.append({QString::fromUtf8("文件名称"), QString::fromUtf8("文件大小"), QString::fromUtf8("文件类型"),
                 QString::fromUtf8("创建时间"), QStringLiteral("ID")});
    for (const RemoteEntry& entry : entries) {
        const ListingRowTexts row = RowTexts(entry);
        QStringList cells;
        for (const QByteArray* cell : {&row.Name, &row.SizeText, &row.TypeText, &row.Created, &row.Id})
            cells.append(QString::fromUtf8(TerminalSafe(GbkToTerminal(*cell))));
        rows.append(cells);
    }
    QList<int> widths(5, 0);
    for (const QStringList& row : rows)
        for (int column = 0; column < 5; ++column)
            widths[column] = std::max(widths[column], columnsOf(row[column]));
    QByteArray text;
    for (const QStringList& row : rows) {
        QString line;
        for (int column = 0; column < 5; ++column) {
            line += row[column];
            // Sizes are right-aligned; the last column is not padded.
            if (column == 4)
                break;
            const QString padding(widths[column] - columnsOf(row[column]), QLatin1Char(' '));
            if (column == 1)
                line.insert(line.size() - row[column].size(), padding);
            else
                line += padding;
            line += QStringLiteral("  ");
        }
        text += line.toUtf8() + "\n";
    }
    return text;
}

QByteArray jsonLines(const QList<RemoteEntry>& entries) {
    QByteArray text;
    for (const RemoteEntry& entry : entries) {
        const ListingRowTexts row = RowTexts(entry);
        QJsonObject object{
            {QStringLiteral("name"), FromGbk(entry.Name)},
            {QStringLiteral("folder"), entry.IsFolder},
            {QStringLiteral("size"), entry.IsFolder ? QJsonValue() : QJsonValue(qint64(entry.Size))},
            {QStringLiteral("size_text"), FromGbk(row.SizeText)},
            {QStringLiteral("type"), FromGbk(row.TypeText)},
            {QStringLiteral("id"), FromGbk(entry.Id)},
            {QStringLiteral("created"), FromGbk(entry.Created)},
            {QStringLiteral("views"), FromGbk(entry.Views)},
            {QStringLiteral("downloads"), FromGbk(entry.Downloads)},
        };
        text += QJsonDocument(object).toJson(QJsonDocument::Compact) + "\n";
    }
    return text;
}

int runLs(SiteArgs& args) {
    const bool json = args.takeFlag("--json");
    QByteArray folderText = "0";
    args.takeArgument(folderText);
    args.expectNoMore();
    if (!IsFolderId(folderText))
        args.usageError("FOLDER_ID must be a folder id (decimal digits), not '" + folderText + "'");
    const std::unique_ptr<SiteConnection> site = OpenSiteSession(args.options, SiteSessionUse::LoginOnly);
    const QList<QByteArray> lines = ListFolderLines(*site, folderText.toInt());
    QList<RemoteEntry> entries;
    try {
        entries = ReadListing(lines, &entries);
    } catch (const SiteFailure&) {
        // The rows before a line that cannot be read are shown, as in the
        // window; then the failure.
        WriteOut(json ? jsonLines(entries) : tableText(entries));
        throw;
    }
    WriteOut(json ? jsonLines(entries) : tableText(entries));
    return SiteExit::Ok;
}

const SiteCommand lsCommand("ls", "ls [FOLDER_ID] [--json]", runLs);

}  // namespace

#include "upload/uploadqueue.h"

#include "platform/gui/icons.h"
#include "platform/gui/listview.h"
#include "platform/helperlib.h"
#include "text/gbk.h"
#include "text/sizetext.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>

namespace QueueStatus {
QString Queued() { return QString::fromUtf8("待上传"); }
QString ToResume() { return QString::fromUtf8("待续传"); }
QString Uploading() { return QString::fromUtf8("上传中..."); }
QString Succeeded() { return QString::fromUtf8("上传成功"); }
QString Failed() { return QString::fromUtf8("上传失败"); }
QString FileMissing() { return QString::fromUtf8("文件不存在"); }
}  // namespace QueueStatus

QString UnsupportedNameMessage(const QStringList& names) {
    return QString::fromUtf8("文件名含有不支持的字符，无法上传：") + names.join(QLatin1Char('\n'));
}

UploadQueue::UploadQueue(TListView& lv2) : lv2_(lv2) {}

int UploadQueue::Count() const { return lv2_.Count(); }

QString UploadQueue::FileName(int row) const { return lv2_.Caption(row); }

QString UploadQueue::FolderPath(int row) const { return lv2_.SubItem(row, QueueColumn::Folder); }

QString UploadQueue::FullPath(int row) const { return FolderPath(row) + FileName(row); }

QString UploadQueue::Status(int row) const { return lv2_.SubItem(row, QueueColumn::Status); }

void UploadQueue::SetStatus(int row, const QString& status) { lv2_.SetSubItem(row, QueueColumn::Status, status); }

quint64 UploadQueue::RowKey(int row) const { return lv2_.RowKey(row); }

int UploadQueue::FindRow(quint64 key) const { return lv2_.FindRowKey(key); }

bool UploadQueue::IsSendable(const QString& text) {
    return !text.contains(QLatin1Char('>')) && !text.contains(QLatin1Char('|')) && ToGbkExact(text).has_value();
}

void UploadQueue::BeginBatch() { ++batching_; }

void UploadQueue::EndBatch() {
    if (batching_ == 0 || --batching_ > 0 || pending_.isEmpty())
        return;
    QList<TListView::NewRow> rows;
    rows.reserve(pending_.size());
    for (QStringList& texts : pending_) {
        const QString name = texts.takeFirst();
        rows.append({name, GetSystemIconIndexA(name, 0), texts});
    }
    pending_.clear();
    lv2_.SetImageLists(GetSystemImageListHandle(1), GetSystemImageListHandle(0));
    lv2_.AddRows(rows);
}

void UploadQueue::addRow(const QString& name, const QString& sizeText, const QString& folder, const QString& status) {
    const Batch batch(*this);
    pending_.append({name, sizeText, folder, status});
}

bool UploadQueue::AddLocalFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    QString folder = info.absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!IsSendable(name) || !IsSendable(folder))
        return false;
    addRow(name, FromGbk(SizeText(FileSizeByName(path))), folder, QueueStatus::Queued());
    return true;
}

QStringList UploadQueue::AddLocalFiles(const QStringList& paths) {
    const Batch batch(*this);
    QStringList refused;
    for (const QString& path : paths)
        if (!AddLocalFile(path))
            refused.append(QFileInfo(path).fileName());
    return refused;
}

QStringList UploadQueue::AddLocalFolder(const QString& folder) {
    const Batch batch(*this);
    QString base = folder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    QStringList refused;
    const QFileInfoList entries =
        QDir(base).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.size() <= 0)
            continue;
        const QString name = entry.fileName();
        if (!IsSendable(name) || !IsSendable(base)) {
            refused.append(name);
            continue;
        }
        addRow(name, FromGbk(SizeText(entry.size())), base, QueueStatus::Queued());
    }
    return refused;
}

QStringList UploadQueue::AddDroppedPaths(const QStringList& paths) {
    const Batch batch(*this);
    QStringList refused;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile())
            continue;
        if (!AddLocalFile(path))
            refused.append(info.fileName());
    }
    return refused;
}

bool UploadQueue::AddResumeRow(const QString& name, const QString& sizeText, const QString& folder) {
    if (!IsSendable(name) || !IsSendable(folder))
        return false;
    addRow(name, sizeText, folder, QueueStatus::ToResume());
    return true;
}

void UploadQueue::DeleteChecked() {
    lv2_.DeleteRowsIf([this](int row) { return lv2_.Checked(row); });
}

void UploadQueue::Clear() { lv2_.Clear(); }

void UploadQueue::SyncChecksToSelection() {
    // One pass over the selection, then one over the rows: asking the
    // selection row by row costs a walk over all its ranges each time.
    const QList<int> selected = lv2_.SelectedRows();
    qsizetype next = 0;
    for (int row = 0; row < lv2_.Count(); ++row) {
        const bool isSelected = next < selected.size() && selected[next] == row;
        if (isSelected)
            ++next;
        lv2_.SetChecked(row, isSelected);
    }
}

void UploadQueue::MarkTaken(int row) {
    {
        const QSignalBlocker noSync(&lv2_);
        lv2_.SetSelected(row, true);
    }
    lv2_.SetChecked(row, true);
}

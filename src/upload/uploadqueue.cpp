#include "upload/uploadqueue.h"

#include "platform/helperlib.h"
#include "text/gbk.h"
#include "text/sizetext.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

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

void UploadQueue::SetStatus(int row, const QString& status) {
    if (!valid(row) || rows_[row].status == status)
        return;
    rows_[row].status = status;
    changed(row, row);
}

void UploadQueue::SetChecked(int row, bool checked) {
    if (!valid(row) || rows_[row].checked == checked)
        return;
    rows_[row].checked = checked;
    changed(row, row);
}

void UploadQueue::SetCheckedRows(const QList<int>& rows) {
    int first = -1;
    int last = -1;
    qsizetype next = 0;
    for (int row = 0; row < Count(); ++row) {
        while (next < rows.size() && rows[next] < row)
            ++next;
        const bool checked = next < rows.size() && rows[next] == row;
        if (rows_[row].checked == checked)
            continue;
        rows_[row].checked = checked;
        if (first < 0)
            first = row;
        last = row;
    }
    if (first >= 0)
        changed(first, last);
}

int UploadQueue::FindRow(quint64 key) const {
    const auto found =
        std::lower_bound(rows_.begin(), rows_.end(), key, [](const Row& row, quint64 k) { return row.key < k; });
    return found != rows_.end() && found->key == key ? int(found - rows_.begin()) : -1;
}

bool UploadQueue::IsSendable(const QString& text) {
    return !text.contains(QLatin1Char('>')) && !text.contains(QLatin1Char('|')) && ToGbkExact(text).has_value();
}

void UploadQueue::BeginBatch() { ++batching_; }

void UploadQueue::EndBatch() {
    if (batching_ == 0 || --batching_ > 0 || pending_.isEmpty())
        return;
    const int first = Count();
    const int last = first + int(pending_.size()) - 1;
    if (listener_)
        listener_->queueRowsAboutToBeAppended(first, last);
    if (rows_.isEmpty())
        rows_ = std::move(pending_);
    else
        rows_.append(pending_);
    pending_ = {};
    if (listener_)
        listener_->queueRowsAppended();
}

void UploadQueue::addRow(const QString& name, const QString& sizeText, const QString& folder, const QString& status) {
    const Batch batch(*this);
    pending_.append({name, sizeText, folder, status, false, ++lastKey_});
}

bool UploadQueue::AddLocalFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    QString folder = info.absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!IsSendable(name) || !IsSendable(folder))
        return false;
    addRow(name, FromGbk(::SizeText(FileSizeByName(path))), folder, QueueStatus::Queued());
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
        addRow(name, FromGbk(::SizeText(entry.size())), base, QueueStatus::Queued());
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
    if (std::none_of(rows_.begin(), rows_.end(), [](const Row& row) { return row.checked; }))
        return;
    if (listener_)
        listener_->queueAboutToBeReset();
    rows_.removeIf([](const Row& row) { return row.checked; });
    if (listener_)
        listener_->queueReset();
}

void UploadQueue::Clear() {
    if (listener_)
        listener_->queueAboutToBeReset();
    rows_.clear();
    if (listener_)
        listener_->queueReset();
}

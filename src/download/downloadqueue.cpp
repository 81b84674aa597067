#include "download/downloadqueue.h"

#include "text/gbk.h"
#include "text/sizetext.h"

#include <QFileInfo>

namespace DownloadStatus {
QString Waiting() { return QString::fromUtf8("等待下载"); }
QString Running() { return QString::fromUtf8("下载中..."); }
QString Paused() { return QString::fromUtf8("已暂停"); }
QString Complete() { return QString::fromUtf8("下载完成"); }
QString Failed() { return QString::fromUtf8("下载失败"); }
QString Missing() { return QString::fromUtf8("不存在"); }
}  // namespace DownloadStatus

QString RowStatusText(const DownloadRow& row) {
    switch (row.State) {
    case RowState::Waiting: return DownloadStatus::Waiting();
    case RowState::Running: return DownloadStatus::Running();
    case RowState::Paused: return DownloadStatus::Paused();
    case RowState::Complete: return DownloadStatus::Complete();
    case RowState::Missing: return DownloadStatus::Missing();
    case RowState::Failed:
        // The reason follows the status: "下载失败：磁盘空间不足".
        return row.Reason.isEmpty() ? DownloadStatus::Failed()
                                    : DownloadStatus::Failed() + QString::fromUtf8("：") + row.Reason;
    }
    return QString();
}

QString RowProgressText(const DownloadRow& row) {
    if (row.State == RowState::Complete)
        return QStringLiteral("100%");
    if (row.Length <= 0)
        return row.Done > 0 ? FromGbk(SizeText(row.Done)) : QString();
    return QString::number(row.Done * 100 / row.Length) + QLatin1Char('%');
}

QString RowRateText(const DownloadRow& row) {
    if (row.State != RowState::Running || row.Rate <= 0)
        return QString();
    return FromGbk(SizeText(qint64(row.Rate))) + QStringLiteral("/s");
}

QString RowSizeText(const DownloadRow& row) {
    if (row.Length >= 0 && (row.Item.SizeText.isEmpty() || row.Length != row.Item.KnownSize))
        return FromGbk(SizeText(row.Length));
    return row.Item.SizeText;
}

int DownloadQueue::Append(const QList<DownloadRow>& rows) {
    const int first = Count();
    if (rows.isEmpty())
        return first;
    if (listener_)
        listener_->queueRowsAboutToBeAppended(first, first + int(rows.size()) - 1);
    rows_.reserve(rows_.size() + rows.size());
    for (DownloadRow row : rows) {
        row.Key = ++lastKey_;
        rows_.append(std::move(row));
    }
    if (listener_)
        listener_->queueRowsAppended();
    return first;
}

int DownloadQueue::FindRow(quint64 key) const {
    const auto found = std::lower_bound(rows_.begin(), rows_.end(), key,
                                        [](const DownloadRow& row, quint64 k) { return row.Key < k; });
    return found != rows_.end() && found->Key == key ? int(found - rows_.begin()) : -1;
}

namespace {

QByteArray field(const QByteArray& bytes) { return bytes.toPercentEncoding("/:"); }
QByteArray field(const QString& text) { return field(text.toUtf8()); }

}  // namespace

QByteArray EncodeQueueFile(const QList<QueuedFile>& files) {
    QByteArray text = "quellix-queue 1\n";
    for (const QueuedFile& f : files) {
        text += field(f.Site) + ' ' + field(f.Account) + ' ' + field(f.Item.Id) + ' ' + field(f.Item.Name) + ' ' +
                field(f.Item.Folder) + ' ' + field(f.PartPath) + ' ' + QByteArray::number(f.Item.KnownSize) + ' ' +
                field(f.Item.SizeText) + ' ' + (f.Paused ? "paused" : "waiting") + '\n';
    }
    return text;
}

QList<QueuedFile> DecodeQueueFile(const QByteArray& text) {
    QList<QueuedFile> files;
    const QList<QByteArray> lines = text.split('\n');
    if (lines.value(0).trimmed() != "quellix-queue 1")
        return files;
    for (const QByteArray& line : lines.mid(1)) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() != 9)
            continue;
        const auto bytes = [&](int i) { return QByteArray::fromPercentEncoding(f[i]); };
        const auto text = [&](int i) { return QString::fromUtf8(bytes(i)); };
        QueuedFile queued;
        queued.Site = bytes(0);
        queued.Account = bytes(1);
        queued.Item.Id = bytes(2);
        queued.Item.Name = text(3);
        queued.Item.Folder = text(4);
        queued.PartPath = text(5);
        bool ok = false;
        queued.Item.KnownSize = f[6].toLongLong(&ok);
        queued.Item.SizeText = text(7);
        queued.Paused = f[8] != "waiting";
        // A row must name a file and a folder to be of any use.
        if (!ok || queued.Site.isEmpty() || queued.Item.Id.isEmpty() || !queued.Item.Folder.endsWith(QLatin1Char('/')))
            continue;
        files.append(queued);
    }
    return files;
}

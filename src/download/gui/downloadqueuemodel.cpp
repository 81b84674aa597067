#include "download/gui/downloadqueuemodel.h"

#include "platform/gui/icons.h"
#include "platform/gui/listview.h"

#include <algorithm>

DownloadQueueModel::DownloadQueueModel(DownloadQueue& queue, TListView& lv3)
    : queue_(queue), lv3_(lv3), titles_(lv3.ColumnTitles()) {
    tick_.setSingleShot(true);
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] { Flush(); });
    queue_.SetListener(this);
    lv3_.PresentModel(this);
}

DownloadQueueModel::~DownloadQueueModel() { queue_.SetListener(nullptr); }

int DownloadQueueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : queue_.Count(); }

int DownloadQueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1 + DownloadColumn::LocalPath + 1, int(titles_.size()));
}

QVariant DownloadQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= queue_.Count())
        return QVariant();
    const DownloadRow& row = queue_.Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column() - 1) {
        case -1: return row.Item.Name;
        case DownloadColumn::Size: return RowSizeText(row);
        case DownloadColumn::Progress: return RowProgressText(row);
        case DownloadColumn::Rate: return RowRateText(row);
        case DownloadColumn::Status: return RowStatusText(row);
        case DownloadColumn::LocalPath: return row.LocalPath.isEmpty() ? row.Item.Folder : row.LocalPath;
        default: return QVariant();
        }
    case Qt::ToolTipRole:
        return index.column() == 1 + DownloadColumn::Status && !row.Reason.isEmpty() ? row.Reason : QVariant();
    case Qt::DecorationRole:
        // Only rows on screen are asked, so the icon is looked up here.
        if (index.column() != 0)
            return QVariant();
        return GetSystemImageListHandle(1)->icon(GetSystemIconIndexA(row.Item.Name, 0));
    default:
        return QVariant();
    }
}

QVariant DownloadQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return titles_.value(section);
    return QVariant();
}

void DownloadQueueModel::Flush() {
    tick_.stop();
    if (dirtyFirst_ < 0)
        return;
    const int first = dirtyFirst_;
    const int last = std::min(dirtyLast_, queue_.Count() - 1);
    dirtyFirst_ = dirtyLast_ = -1;
    if (first <= last)
        Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void DownloadQueueModel::queueRowsAboutToBeAppended(int first, int last) { beginInsertRows(QModelIndex(), first, last); }

void DownloadQueueModel::queueRowsAppended() { endInsertRows(); }

void DownloadQueueModel::queueAboutToBeReset() {
    tick_.stop();
    dirtyFirst_ = dirtyLast_ = -1;
    beginResetModel();
}

void DownloadQueueModel::queueReset() { endResetModel(); }

void DownloadQueueModel::queueRowsChanged(int first, int last) {
    dirtyFirst_ = dirtyFirst_ < 0 ? first : std::min(dirtyFirst_, first);
    dirtyLast_ = std::max(dirtyLast_, last);
    if (!tick_.isActive())
        tick_.start(UpdateIntervalMs);
}

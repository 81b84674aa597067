#include "upload/gui/uploadqueuemodel.h"

#include "platform/gui/icons.h"
#include "platform/gui/listview.h"

#include <QSignalBlocker>
#include <algorithm>
#include <utility>

UploadQueueModel::UploadQueueModel(UploadQueue& queue, TListView& lv2)
    : queue_(queue), lv2_(lv2), titles_(lv2.ColumnTitles()) {
    tick_.setSingleShot(true);
    // A coarse timer may fire a little early; the views are promised at
    // most one update per interval.
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, [this] { Flush(); });
    queue_.SetListener(this);
    lv2_.PresentModel(this);
}

UploadQueueModel::~UploadQueueModel() { queue_.SetListener(nullptr); }

int UploadQueueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : queue_.Count(); }

int UploadQueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1 + QueueColumn::Status + 1, int(titles_.size()));
}

QVariant UploadQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= queue_.Count())
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column() - 1) {
        case -1: return queue_.FileName(row);
        case QueueColumn::Size: return queue_.SizeText(row);
        case QueueColumn::Folder: return queue_.FolderPath(row);
        case QueueColumn::Status: return queue_.Status(row);
        default: return QVariant();
        }
    case Qt::DecorationRole:
        // Only rows on screen are asked, so the icon is looked up here
        // rather than for every row added.
        if (index.column() != 0)
            return QVariant();
        return GetSystemImageListHandle(1)->icon(GetSystemIconIndexA(queue_.FileName(row), 0));
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return queue_.Checked(row) ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant UploadQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return titles_.value(section);
    return QVariant();
}

Qt::ItemFlags UploadQueueModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool UploadQueueModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0)
        return false;
    queue_.SetChecked(index.row(), value.toInt() == Qt::Checked);
    // A check box the user clicks is shown at once.
    Flush();
    return true;
}

void UploadQueueModel::SyncChecksToSelection() { queue_.SetCheckedRows(lv2_.SelectedRows()); }

void UploadQueueModel::SelectTaken(int row) {
    if (row < 0 || row >= queue_.Count())
        return;
    taken_.append(queue_.RowKey(row));
    if (!tick_.isActive())
        tick_.start(UpdateIntervalMs);
}

void UploadQueueModel::Flush() {
    tick_.stop();
    if (!taken_.isEmpty()) {
        QList<int> rows;
        rows.reserve(taken_.size());
        for (quint64 key : std::exchange(taken_, {})) {
            const int row = queue_.FindRow(key);
            if (row >= 0)
                rows.append(row);
        }
        std::sort(rows.begin(), rows.end());
        const QSignalBlocker noSync(&lv2_);
        lv2_.SelectRows(rows);
    }
    if (dirtyFirst_ < 0)
        return;
    const int first = dirtyFirst_;
    const int last = std::min(dirtyLast_, queue_.Count() - 1);
    dirtyFirst_ = dirtyLast_ = -1;
    if (first <= last)
        Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void UploadQueueModel::queueRowsAboutToBeAppended(int first, int last) { beginInsertRows(QModelIndex(), first, last); }

void UploadQueueModel::queueRowsAppended() { endInsertRows(); }

void UploadQueueModel::queueAboutToBeReset() {
    // The reset shows every row anew and clears the selection, as it would
    // have cleared the selection of the rows taken so far.
    tick_.stop();
    dirtyFirst_ = dirtyLast_ = -1;
    taken_.clear();
    beginResetModel();
}

void UploadQueueModel::queueReset() { endResetModel(); }

void UploadQueueModel::queueRowsChanged(int first, int last) {
    dirtyFirst_ = dirtyFirst_ < 0 ? first : std::min(dirtyFirst_, first);
    dirtyLast_ = std::max(dirtyLast_, last);
    if (!tick_.isActive())
        tick_.start(UpdateIntervalMs);
}

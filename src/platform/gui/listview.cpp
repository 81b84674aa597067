#include "platform/gui/listview.h"

#include "platform/gui/icons.h"
#include "text/errors.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

int TListRowsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows.size()); }

int TListRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max<int>(1, int(titles.size()));
}

QVariant TListRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows.size())
        return QVariant();
    const Row& row = rows[index.row()];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return row.caption;
        return row.subItems.value(column - 1);
    case Qt::DecorationRole: {
        if (column != 0)
            return QVariant();
        const SystemImageList* images = largeIcons ? largeImages : smallImages;
        if (!images)
            return QVariant();
        return images->icon(row.imageIndex);
    }
    case Qt::CheckStateRole:
        if (column == 0 && checkboxes)
            return row.checked ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant TListRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return titles.value(section);
    return QVariant();
}

Qt::ItemFlags TListRowsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (checkboxes && index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool TListRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0)
        return false;
    rows[index.row()].checked = value.toInt() == Qt::Checked;
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

void TListRowsModel::rowChanged(int row) {
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}

TListView::TListView(QWidget* parent)
    : QWidget(parent),
      model_(new TListRowsModel(this)),
      selection_(new QItemSelectionModel(model_, this)),
      stack_(new QStackedWidget(this)),
      report_(new QTreeView),
      icons_(new QListView),
      shown_(model_) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);

    report_->setModel(model_);
    report_->setSelectionModel(selection_);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setItemsExpandable(false);
    report_->setAllColumnsShowFocus(true);
    report_->header()->setStretchLastSection(true);
    report_->header()->setSectionsMovable(false);

    icons_->setModel(model_);
    icons_->setSelectionModel(selection_);
    icons_->setViewMode(QListView::IconMode);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    // Wrapped captions under an icon are laid out no wider than the icon
    // (32 pixels), which cut names to one or two characters; one line across
    // the grid cell, shortened in the middle, keeps names and extensions.
    icons_->setWordWrap(false);
    icons_->setTextElideMode(Qt::ElideMiddle);
    icons_->setIconSize(QSize(32, 32));
    icons_->setGridSize(QSize(96, 72));
    icons_->setUniformItemSizes(false);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setContextMenuPolicy(Qt::DefaultContextMenu);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }
    stack_->addWidget(report_);
    stack_->addWidget(icons_);

    connect(selection_, &QItemSelectionModel::selectionChanged, this,
            [this] { emitSelectionChangedUnlessUpdating(); });
}

void TListView::PresentModel(QAbstractItemModel* model) {
    QItemSelectionModel* old = selection_;
    shown_ = model;
    selection_ = new QItemSelectionModel(model, this);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        view->setModel(model);
        view->setSelectionModel(selection_);
    }
    delete old;
    for (int i = 0; i < columnWidths_.size(); ++i)
        if (columnWidths_[i] >= 0)
            report_->setColumnWidth(i, columnWidths_[i]);
    connect(selection_, &QItemSelectionModel::selectionChanged, this,
            [this] { emitSelectionChangedUnlessUpdating(); });
}

void TListView::emitSelectionChangedUnlessUpdating() {
    if (updating_ == 0)
        Q_EMIT SelectionChanged();
}

void TListView::SetColumns(const QList<QPair<QString, int>>& columns) {
    model_->beginResetModel();
    model_->titles.clear();
    for (const auto& column : columns)
        model_->titles.append(column.first);
    model_->endResetModel();
    columnWidths_.clear();
    for (int i = 0; i < columns.size(); ++i) {
        columnWidths_.append(columns[i].second);
        if (columns[i].second >= 0)
            report_->setColumnWidth(i, columns[i].second);
    }
}

void TListView::SetCheckboxes(bool on) {
    model_->beginResetModel();
    model_->checkboxes = on;
    model_->endResetModel();
}

void TListView::SetImageLists(const SystemImageList* small, const SystemImageList* large) {
    if (small == model_->smallImages && large == model_->largeImages)
        return;
    model_->smallImages = small;
    model_->largeImages = large;
    if (updating_ == 0 && model_->rowCount() > 0)
        Q_EMIT model_->dataChanged(model_->index(0, 0), model_->index(model_->rowCount() - 1, 0),
                                   {Qt::DecorationRole});
}

void TListView::SetViewStyle(TViewStyle style) {
    style_ = style;
    model_->largeIcons = style == TViewStyle::vsIcon;
    stack_->setCurrentWidget(style == TViewStyle::vsIcon ? static_cast<QWidget*>(icons_) : report_);
    if (model_->rowCount() > 0)
        Q_EMIT model_->dataChanged(model_->index(0, 0), model_->index(model_->rowCount() - 1, 0),
                                   {Qt::DecorationRole});
}

void TListView::SetPopupMenu(QMenu* menu) { popup_ = menu; }

void TListView::SetAcceptFiles(bool on) {
    acceptFiles_ = on;
    report_->viewport()->setAcceptDrops(on);
    icons_->viewport()->setAcceptDrops(on);
    report_->setDragDropMode(on ? QAbstractItemView::DropOnly : QAbstractItemView::NoDragDrop);
    icons_->setDragDropMode(on ? QAbstractItemView::DropOnly : QAbstractItemView::NoDragDrop);
}

int TListView::AddRow(const QString& caption, int imageIndex, const QStringList& subItems) {
    const int row = Count();
    if (updating_ == 0)
        model_->beginInsertRows(QModelIndex(), row, row);
    model_->rows.append({caption, imageIndex, subItems, false, ++lastRowKey_});
    if (updating_ == 0)
        model_->endInsertRows();
    return row;
}

void TListView::AddRows(const QList<NewRow>& rows) {
    if (rows.isEmpty())
        return;
    const int first = Count();
    if (updating_ == 0)
        model_->beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    for (const NewRow& row : rows)
        model_->rows.append({row.caption, row.imageIndex, row.subItems, false, ++lastRowKey_});
    if (updating_ == 0)
        model_->endInsertRows();
}

void TListView::DeleteRow(int row) {
    if (row < 0 || row >= Count())
        return;
    if (updating_ == 0)
        model_->beginRemoveRows(QModelIndex(), row, row);
    model_->rows.remove(row);
    if (updating_ == 0)
        model_->endRemoveRows();
}

void TListView::DeleteRowsIf(const std::function<bool(int row)>& remove) {
    QVector<TListRowsModel::Row> kept;
    kept.reserve(model_->rows.size());
    for (int row = 0; row < model_->rows.size(); ++row)
        if (!remove(row))
            kept.append(std::move(model_->rows[row]));
    if (kept.size() == model_->rows.size()) {
        // Nothing removed; the moved-from rows must be put back.
        model_->rows = std::move(kept);
        return;
    }
    model_->beginResetModel();
    model_->rows = std::move(kept);
    model_->endResetModel();
}

void TListView::Clear() {
    if (updating_ > 0) {
        model_->rows.clear();
        return;
    }
    model_->beginResetModel();
    model_->rows.clear();
    model_->endResetModel();
}

void TListView::BeginUpdate() {
    if (updating_++ == 0)
        model_->beginResetModel();
}

void TListView::EndUpdate() {
    if (updating_ > 0 && --updating_ == 0)
        model_->endResetModel();
}

QString TListView::Caption(int row) const {
    if (shown_ != model_)
        return shown_->data(shown_->index(row, 0), Qt::DisplayRole).toString();
    return row >= 0 && row < Count() ? model_->rows[row].caption : QString();
}

QString TListView::SubItem(int row, int index) const {
    if (shown_ != model_)
        return shown_->data(shown_->index(row, index + 1), Qt::DisplayRole).toString();
    return row >= 0 && row < Count() ? model_->rows[row].subItems.value(index) : QString();
}

void TListView::SetSubItem(int row, int index, const QString& text) {
    if (row < 0 || row >= Count() || index < 0)
        return;
    QStringList& items = model_->rows[row].subItems;
    while (items.size() <= index)
        items.append(QString());
    items[index] = text;
    if (updating_ == 0)
        model_->rowChanged(row);
}

int TListView::ImageIndex(int row) const { return row >= 0 && row < Count() ? model_->rows[row].imageIndex : -1; }

bool TListView::Selected(int row) const { return selection_->isRowSelected(row, QModelIndex()); }

void TListView::SetSelected(int row, bool selected) {
    if (row < 0 || row >= Count())
        return;
    if (!selected) {
        selection_->select(shown_->index(row, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return;
    }
    if (Selected(row))
        return;
    // A row next to selected rows joins their range. The selection model
    // compares its ranges pairwise on every change, so rows selected one
    // after another (the upload run walks the queue that way) must not pile
    // up as one range each.
    int top = row;
    int bottom = row;
    for (const QItemSelectionRange& range : selection_->selection()) {
        if (range.bottom() == row - 1)
            top = std::min(top, range.top());
        if (range.top() == row + 1)
            bottom = std::max(bottom, range.bottom());
    }
    selection_->select(QItemSelection(shown_->index(top, 0), shown_->index(bottom, 0)),
                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TListView::SelectRows(const QList<int>& rows) {
    QItemSelection added;
    const QItemSelection current = selection_->selection();
    for (qsizetype i = 0; i < rows.size();) {
        int top = rows[i];
        int bottom = top;
        while (++i < rows.size() && rows[i] <= bottom + 1)
            bottom = std::max(bottom, rows[i]);
        if (top < 0 || bottom >= Count())
            continue;
        for (const QItemSelectionRange& range : current) {
            if (range.bottom() == top - 1)
                top = std::min(top, range.top());
            if (range.top() == bottom + 1)
                bottom = std::max(bottom, range.bottom());
        }
        added.append(QItemSelectionRange(shown_->index(top, 0), shown_->index(bottom, 0)));
    }
    if (!added.isEmpty())
        selection_->select(added, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

bool TListView::Checked(int row) const {
    if (shown_ != model_)
        return shown_->data(shown_->index(row, 0), Qt::CheckStateRole).toInt() == Qt::Checked;
    return row >= 0 && row < Count() && model_->rows[row].checked;
}

void TListView::SetChecked(int row, bool checked) {
    if (shown_ != model_) {
        shown_->setData(shown_->index(row, 0), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
        return;
    }
    if (row < 0 || row >= Count() || model_->rows[row].checked == checked)
        return;
    model_->rows[row].checked = checked;
    if (updating_ == 0)
        Q_EMIT model_->dataChanged(model_->index(row, 0), model_->index(row, 0), {Qt::CheckStateRole});
}

QList<int> TListView::SelectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selection_->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

quint64 TListView::RowKey(int row) const { return row >= 0 && row < Count() ? model_->rows[row].key : 0; }

int TListView::FindRowKey(quint64 key) const {
    const auto& rows = model_->rows;
    const auto found = std::lower_bound(rows.begin(), rows.end(), key,
                                        [](const TListRowsModel::Row& row, quint64 k) { return row.key < k; });
    return found != rows.end() && found->key == key ? int(found - rows.begin()) : -1;
}

QWidget* TListView::activeView() const { return stack_->currentWidget(); }

void TListView::SetAccessibleName(const QString& name) {
    setAccessibleName(name);
    report_->setAccessibleName(name);
    icons_->setAccessibleName(name);
}

bool TListView::eventFilter(QObject* watched, QEvent* event) {
    const bool onViewport = watched == report_->viewport() || watched == icons_->viewport();
    const bool onView = watched == report_ || watched == icons_;
    if (onViewport) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                // The view settles the selection on these events: a plain
                // click on a row of a multi-selection reduces it to that row
                // only at the release. Let the view have the event first, so
                // that the handlers read the selection the user sees.
                watched->removeEventFilter(this);
                QCoreApplication::sendEvent(watched, event);
                watched->installEventFilter(this);
                if (event->type() == QEvent::MouseButtonRelease)
                    Q_EMIT Click();
                else
                    Q_EMIT DblClick();
                return true;
            }
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (acceptFiles_ && drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!acceptFiles_ || !drop->mimeData()->hasUrls())
                break;
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths.append(url.toLocalFile());
            drop->acceptProposedAction();
            Q_EMIT FilesDropped(paths);
            return true;
        }
        default:
            break;
        }
    }
    if (onView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Q_EMIT Activated();
            return true;
        }
        if (key == Qt::Key_Delete) {
            Q_EMIT DeletePressed();
            return true;
        }
    }
    if ((onView || onViewport) && event->type() == QEvent::ContextMenu && popup_) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        QPoint at = menuEvent->globalPos();
        if (menuEvent->reason() == QContextMenuEvent::Keyboard) {
            // The menu key: open the menu at the current row, where the
            // user's attention is, rather than where the mouse happens to be.
            auto* view = static_cast<QAbstractItemView*>(activeView());
            const QRect rowRect = view->visualRect(view->currentIndex());
            const QPoint local = rowRect.isValid() && view->viewport()->rect().intersects(rowRect)
                                     ? rowRect.bottomLeft()
                                     : QPoint(0, 0);
            at = view->viewport()->mapToGlobal(local);
        }
        popup_->popup(at);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

#pragma once
// The list view of the skinned toolkit: rows of a caption, an image index
// and sub-item texts, shown either as a details view with columns or as
// large icons, both over one model and one selection. The row texts are the
// store that the program's features read, unless the list presents a model
// of its own (PresentModel): then the accessors read that model.

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>
#include <QWidget>
#include <functional>

class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;
class QItemSelectionModel;
class SystemImageList;

class TListRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        QString caption;
        int imageIndex = 0;
        QStringList subItems;
        bool checked = false;
        quint64 key = 0;
    };

    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    QStringList titles;
    bool checkboxes = false;
    const SystemImageList* smallImages = nullptr;
    const SystemImageList* largeImages = nullptr;
    bool largeIcons = false;
    QVector<Row> rows;

    void rowChanged(int row);

    friend class TListView;
};

class TListView : public QWidget {
    Q_OBJECT
public:
    enum class TViewStyle { vsReport, vsIcon };

    explicit TListView(QWidget* parent = nullptr);

    // Column titles and widths in pixels; a width of -1 keeps the default.
    void SetColumns(const QList<QPair<QString, int>>& columns);
    void SetCheckboxes(bool on);
    void SetImageLists(const SystemImageList* small, const SystemImageList* large);
    void SetViewStyle(TViewStyle style);
    TViewStyle ViewStyle() const { return style_; }
    void SetPopupMenu(QMenu* menu);
    // Accept files dropped from the file manager (FilesDropped).
    void SetAcceptFiles(bool on);

    // Shows `model` (column 0 the caption, icon and check box, the others the
    // sub-items) instead of the list's own rows, with a fresh selection; the
    // column widths stay. The list's own row functions (AddRow, SetSubItem,
    // RowKey, ...) are then not to be used: the model's owner changes the
    // rows.
    void PresentModel(QAbstractItemModel* model);
    QAbstractItemModel* shownModel() const { return shown_; }
    QStringList ColumnTitles() const { return model_->titles; }

    int Count() const { return shown_->rowCount(); }
    int AddRow(const QString& caption, int imageIndex, const QStringList& subItems);
    struct NewRow {
        QString caption;
        int imageIndex = 0;
        QStringList subItems;
    };
    // Appends rows as one insertion, which views and assistive technology
    // take in as one change instead of one per row; the selection stays.
    void AddRows(const QList<NewRow>& rows);
    void DeleteRow(int row);
    // Deletes every row for which `remove(row)` holds, in one pass.
    void DeleteRowsIf(const std::function<bool(int row)>& remove);
    void Clear();
    // Adding many rows: one model reset instead of one insert per row.
    void BeginUpdate();
    void EndUpdate();

    QString Caption(int row) const;
    // Sub-item `index` (0 = the second column); empty when the row has fewer.
    QString SubItem(int row, int index) const;
    void SetSubItem(int row, int index, const QString& text);
    int ImageIndex(int row) const;
    bool Selected(int row) const;
    void SetSelected(int row, bool selected);
    // Adds the rows (ascending) to the selection as one change, each run of
    // neighbouring rows as one range joined with the ranges next to it.
    void SelectRows(const QList<int>& rows);
    bool Checked(int row) const;
    void SetChecked(int row, bool checked);
    QList<int> SelectedRows() const;

    // Every row gets a key when it is added, unique in this list and rising
    // with each row added; it stays with the row while rows before it are
    // deleted. Rows are only ever appended, so the keys rise along the rows.
    quint64 RowKey(int row) const;
    // The row that holds `key` now, or -1 when that row was deleted.
    int FindRowKey(quint64 key) const;

    QTreeView* reportView() const { return report_; }
    QListView* iconView() const { return icons_; }
    QWidget* activeView() const;
    // The name assistive technology reads for the list (both views).
    void SetAccessibleName(const QString& name);

Q_SIGNALS:
    void Click();
    void DblClick();
    // Enter or Return in the list: the keyboard's double click.
    void Activated();
    // The Delete key in the list.
    void DeletePressed();
    void SelectionChanged();
    void FilesDropped(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void emitSelectionChangedUnlessUpdating();

    TListRowsModel* model_;
    QItemSelectionModel* selection_;
    QStackedWidget* stack_;
    QTreeView* report_;
    QListView* icons_;
    QMenu* popup_ = nullptr;
    TViewStyle style_ = TViewStyle::vsReport;
    int updating_ = 0;
    bool acceptFiles_ = false;
    quint64 lastRowKey_ = 0;
    QAbstractItemModel* shown_;
    QList<int> columnWidths_;
};

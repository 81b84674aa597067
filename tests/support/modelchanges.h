#pragma once
// Records how a model announces its row changes to its views. Every
// announcement becomes one event for assistive technology (and one piece of
// work for each view), so filling a list must be one insertion or one reset,
// not one insertion per row.
#include <QAbstractItemModel>
#include <QList>
#include <QObject>
#include <QPair>

class ModelChangeRecorder {
public:
    enum class Change { RowsInserted, RowsRemoved, ModelReset };

    explicit ModelChangeRecorder(const QAbstractItemModel* model) {
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &context_,
                         [this](const QModelIndex&, int first, int last) { add(Change::RowsInserted, first, last); });
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &context_,
                         [this](const QModelIndex&, int first, int last) { add(Change::RowsRemoved, first, last); });
        QObject::connect(model, &QAbstractItemModel::modelReset, &context_,
                         [this] { add(Change::ModelReset, -1, -1); });
    }

    QList<Change> changes;
    QList<QPair<int, int>> rows;  // first and last row of each change (-1 for a reset)

private:
    void add(Change change, int first, int last) {
        changes.append(change);
        rows.append({first, last});
    }
    QObject context_;
};

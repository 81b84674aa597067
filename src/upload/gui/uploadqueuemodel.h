#pragma once
// The queue as the list lv2 shows it: an item model over the UploadQueue
// (caption with the file's icon and check box, size, folder, status). The
// list's selection is view state: the check boxes follow it
// (SyncChecksToSelection), and the row an upload run takes is selected
// (SelectTaken).
//
// Status and check box changes reach the views coalesced: one dataChanged
// over the rows touched, at most every UpdateIntervalMs and at once on
// Flush. A run over thousands of small files changes a row every few
// milliseconds; each announcement would be a repaint and, with assistive
// technology listening, an event sent across the accessibility bus.

#include "upload/uploadqueue.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>

class TListView;

class UploadQueueModel : public QAbstractTableModel, public UploadQueueListener {
    Q_OBJECT
public:
    // Becomes the model lv2 presents, with lv2's column titles.
    UploadQueueModel(UploadQueue& queue, TListView& lv2);
    ~UploadQueueModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Every row's check box becomes its selection state in lv2.
    void SyncChecksToSelection();
    // Selects the row an upload run takes, leaving the other selected rows
    // selected, without a selection signal (which would sync every check
    // box to the selection). Coalesced like the row changes: each newly
    // selected row is an event for assistive technology.
    void SelectTaken(int row);
    // Announces the pending row changes and selections now.
    void Flush();

    int UpdateIntervalMs = 50;

private:
    void queueRowsAboutToBeAppended(int first, int last) override;
    void queueRowsAppended() override;
    void queueAboutToBeReset() override;
    void queueReset() override;
    void queueRowsChanged(int first, int last) override;

    UploadQueue& queue_;
    TListView& lv2_;
    QStringList titles_;
    QTimer tick_;
    int dirtyFirst_ = -1;
    int dirtyLast_ = -1;
    QList<quint64> taken_;  // rows to select, by key
};

#pragma once
// The download queue as the list lv3 of the "下载队列" page shows it: an
// item model over DownloadQueue (name with the file's icon, size, progress,
// rate, status, local path). Row changes reach the views coalesced: one
// dataChanged over the rows touched, at most every UpdateIntervalMs and at
// once on Flush, so that a queue of thousands of files is not a repaint
// (and, with assistive technology listening, an event on the accessibility
// bus) per row and per progress step.

#include "download/downloadqueue.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTimer>

class TListView;

class DownloadQueueModel : public QAbstractTableModel, public DownloadQueueListener {
    Q_OBJECT
public:
    // Becomes the model lv3 presents, with lv3's column titles.
    DownloadQueueModel(DownloadQueue& queue, TListView& lv3);
    ~DownloadQueueModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Announces the pending row changes now.
    void Flush();

    int UpdateIntervalMs = 50;

private:
    void queueRowsAboutToBeAppended(int first, int last) override;
    void queueRowsAppended() override;
    void queueAboutToBeReset() override;
    void queueReset() override;
    void queueRowsChanged(int first, int last) override;

    DownloadQueue& queue_;
    TListView& lv3_;
    QStringList titles_;
    QTimer tick_;
    int dirtyFirst_ = -1;
    int dirtyLast_ = -1;
};

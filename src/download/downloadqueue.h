#pragma once
// The download queue as data: one row per remote file, in the order the
// files were queued, with what the queue page shows of it (name, size,
// progress, rate, status, local path). The scheduler (downloadscheduler.h)
// changes the rows; the window's model and the command line present them.
// Rows are appended in batches and removed as one reset, so that 10,000
// rows reach a view, and assistive technology, as one change each.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <algorithm>

namespace DownloadStatus {
QString Waiting();   // "等待下载"
QString Running();   // "下载中..."
QString Paused();    // "已暂停"
QString Complete();  // "下载完成"
QString Failed();    // "下载失败"
QString Missing();   // "不存在"
}  // namespace DownloadStatus

// Columns of the queue page after the name.
namespace DownloadColumn {
constexpr int Size = 0;
constexpr int Progress = 1;
constexpr int Rate = 2;
constexpr int Status = 3;
constexpr int LocalPath = 4;
}  // namespace DownloadColumn

// What to fetch: a file of the site and where it goes.
struct DownloadItem {
    QByteArray Id;       // the file's id on the site
    QString Name;        // its name on the site (the local name is made safe from it)
    QString Folder;      // the local folder, ending with "/"
    qint64 KnownSize = -1;  // the size the listing gave; -1 when not known
    QString SizeText;    // the listing's size text
};

enum class RowState { Waiting, Running, Paused, Complete, Failed, Missing };

struct DownloadRow {
    DownloadItem Item;
    RowState State = RowState::Waiting;
    // The part file while the file is unfinished, the final file once it is
    // complete; empty before the file was first started.
    QString LocalPath;
    qint64 Length = -1;      // the document's length once known
    qint64 Done = 0;         // its bytes on the disk
    double Rate = 0;         // bytes per second while it runs
    QString Reason;          // why it failed, or a note (started over ...)
    bool StartOver = false;  // drop what earlier runs left at the next start
    quint64 Key = 0;

    bool Finished() const { return State == RowState::Complete; }
    bool Unfinished() const { return State != RowState::Complete && State != RowState::Missing; }
};

// The texts of a row, as the queue page shows them.
QString RowStatusText(const DownloadRow& row);
QString RowProgressText(const DownloadRow& row);
QString RowRateText(const DownloadRow& row);
QString RowSizeText(const DownloadRow& row);

class DownloadQueueListener {
public:
    virtual ~DownloadQueueListener() = default;
    virtual void queueRowsAboutToBeAppended(int first, int last) = 0;
    virtual void queueRowsAppended() = 0;
    virtual void queueAboutToBeReset() = 0;
    virtual void queueReset() = 0;
    virtual void queueRowsChanged(int first, int last) = 0;
};

class DownloadQueue {
public:
    DownloadQueue() = default;
    DownloadQueue(const DownloadQueue&) = delete;
    DownloadQueue& operator=(const DownloadQueue&) = delete;

    void SetListener(DownloadQueueListener* listener) { listener_ = listener; }

    int Count() const { return int(rows_.size()); }
    const DownloadRow& Row(int row) const { return rows_[row]; }
    const QVector<DownloadRow>& Rows() const { return rows_; }
    // Changes a row through `change` and tells the listener.
    template <class Change>
    void Update(int row, Change&& change) {
        change(rows_[row]);
        changed(row, row);
    }
    // Tells the listener that rows first..last changed (after changes made
    // through Update without a notice: MutableRow).
    void changed(int first, int last) {
        if (listener_)
            listener_->queueRowsChanged(first, last);
    }
    DownloadRow& MutableRow(int row) { return rows_[row]; }

    // Appends rows as one change; gives the index of the first.
    int Append(const QList<DownloadRow>& rows);
    // Removes the rows for which `remove` holds, as one reset.
    template <class Predicate>
    void RemoveIf(Predicate&& remove) {
        if (std::none_of(rows_.begin(), rows_.end(), remove))
            return;
        if (listener_)
            listener_->queueAboutToBeReset();
        rows_.removeIf(remove);
        if (listener_)
            listener_->queueReset();
    }
    void Clear() {
        RemoveIf([](const DownloadRow&) { return true; });
    }

    // Where the row with `key` stands now; -1 once it was removed.
    int FindRow(quint64 key) const;

private:
    QVector<DownloadRow> rows_;
    DownloadQueueListener* listener_ = nullptr;
    quint64 lastKey_ = 0;
};

// The queue file: the unfinished rows of every site and account, one line
// each after "quellix-queue 1": site, account, id, name, folder, part file,
// the listed size, its text and "paused" or "waiting", separated by blanks,
// each percent-encoded.
struct QueuedFile {
    QByteArray Site;
    QByteArray Account;
    DownloadItem Item;
    QString PartPath;
    bool Paused = true;
};
QByteArray EncodeQueueFile(const QList<QueuedFile>& files);
// The entries that read; broken lines are left out.
QList<QueuedFile> DecodeQueueFile(const QByteArray& text);

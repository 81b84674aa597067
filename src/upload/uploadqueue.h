#pragma once
// The upload queue: the files to send, in order. A row holds the file name,
// the size text, the folder (ending with "/", so folder + name is the path),
// the status text, its check box and a key. The queue is plain data: the
// window's list presents it and tells it which rows are checked; the upload
// run and the registration requests read the rows back by index, in row
// order, or find a row by its key.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace QueueColumn {
// Sub-item columns of the list that presents the queue (the name is the
// caption before them).
constexpr int Size = 0;
constexpr int Folder = 1;
constexpr int Status = 2;
}  // namespace QueueColumn

namespace QueueStatus {
QString Queued();      // "待上传"
QString ToResume();    // "待续传"
QString Uploading();   // "上传中..."
QString Succeeded();   // "上传成功"
QString Failed();      // "上传失败"
QString FileMissing(); // "文件不存在"
}  // namespace QueueStatus

// The information message for files the queue refuses.
QString UnsupportedNameMessage(const QStringList& names);

// Told about every change of the queue, before and after, as an item model
// needs it. Rows are only ever appended; deletions of any kind come as a
// reset. Status and check box changes name the rows they touched.
class UploadQueueListener {
public:
    virtual ~UploadQueueListener() = default;
    virtual void queueRowsAboutToBeAppended(int first, int last) = 0;
    virtual void queueRowsAppended() = 0;
    virtual void queueAboutToBeReset() = 0;
    virtual void queueReset() = 0;
    // Status texts or check boxes of rows first..last changed.
    virtual void queueRowsChanged(int first, int last) = 0;
};

class UploadQueue {
public:
    struct Row {
        QString name;
        QString sizeText;
        QString folder;
        QString status;
        bool checked = false;
        quint64 key = 0;
    };

    UploadQueue() = default;
    UploadQueue(const UploadQueue&) = delete;
    UploadQueue& operator=(const UploadQueue&) = delete;

    // One listener (the window's model); nullptr detaches it.
    void SetListener(UploadQueueListener* listener) { listener_ = listener; }

    int Count() const { return int(rows_.size()); }
    QString FileName(int row) const { return valid(row) ? rows_[row].name : QString(); }
    QString SizeText(int row) const { return valid(row) ? rows_[row].sizeText : QString(); }
    QString FolderPath(int row) const { return valid(row) ? rows_[row].folder : QString(); }
    // FolderPath followed by FileName.
    QString FullPath(int row) const { return FolderPath(row) + FileName(row); }
    QString Status(int row) const { return valid(row) ? rows_[row].status : QString(); }
    void SetStatus(int row, const QString& status);
    bool Checked(int row) const { return valid(row) && rows_[row].checked; }
    void SetChecked(int row, bool checked);
    // Every row's check box becomes whether it is in `rows` (ascending), as
    // one change.
    void SetCheckedRows(const QList<int>& rows);

    // A row's identity, kept while rows before it are deleted; rows added
    // later have greater keys, so the keys rise along the rows.
    quint64 RowKey(int row) const { return valid(row) ? rows_[row].key : 0; }
    // Where the row with `key` stands now; -1 once it was deleted. A binary
    // search: the run looks its row up once per file.
    int FindRow(quint64 key) const;

    // Adds one local file as a "待上传" row. A path the site cannot be told
    // about (not writable in GBK, or holding ">" or "|", which would break
    // the announced file list) is not added: gives false.
    bool AddLocalFile(const QString& path);
    // Adds files chosen in the open dialog, in the dialog's order; gives the
    // names refused.
    QStringList AddLocalFiles(const QStringList& paths);
    // Adds the non-empty files directly inside `folder` (not its
    // sub-folders), with their 64-bit sizes; gives the names refused.
    QStringList AddLocalFolder(const QString& folder);
    // Adds the dropped paths that name existing files, in drop order;
    // folders and missing paths are skipped silently. Gives the names refused.
    QStringList AddDroppedPaths(const QStringList& paths);
    // A row rebuilt from the site's resume list ("待续传"); false when the
    // texts cannot be sent back to the site.
    bool AddResumeRow(const QString& name, const QString& sizeText, const QString& folder);

    // "删除选中": deletes the checked rows, keeping the order of the others.
    void DeleteChecked();
    // "清空列表".
    void Clear();

    // Whether a name or folder can go to the site: GBK-writable and free of
    // ">" and "|".
    static bool IsSendable(const QString& text);

    // Rows added between BeginBatch and EndBatch are appended as one change
    // at EndBatch (a list of thousands of files would otherwise be announced
    // to assistive technology row by row).
    void BeginBatch();
    void EndBatch();
    class Batch {
    public:
        explicit Batch(UploadQueue& queue) : queue_(queue) { queue_.BeginBatch(); }
        ~Batch() { queue_.EndBatch(); }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        UploadQueue& queue_;
    };

private:
    bool valid(int row) const { return row >= 0 && row < rows_.size(); }
    void addRow(const QString& name, const QString& sizeText, const QString& folder, const QString& status);
    void changed(int first, int last) {
        if (listener_)
            listener_->queueRowsChanged(first, last);
    }

    QVector<Row> rows_;
    UploadQueueListener* listener_ = nullptr;
    quint64 lastKey_ = 0;
    int batching_ = 0;
    QVector<Row> pending_;
};

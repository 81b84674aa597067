#pragma once
// The upload queue: the rows of the list lv2, the only store of the queue.
// A row holds the file name (caption), the size text, the folder (ending
// with "/", so folder + name is the path) and the status text; its check box
// follows its selection. The upload run and the registration requests read
// the rows back by index, in row order.

#include <QList>
#include <QString>
#include <QStringList>

class TListView;

namespace QueueColumn {
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

class UploadQueue {
public:
    explicit UploadQueue(TListView& lv2);

    int Count() const;
    QString FileName(int row) const;
    QString FolderPath(int row) const;
    // FolderPath followed by FileName.
    QString FullPath(int row) const;
    QString Status(int row) const;
    void SetStatus(int row, const QString& status);
    // A row's identity, kept while rows before it are deleted; rows added
    // later have greater keys (see TListView::RowKey).
    quint64 RowKey(int row) const;
    // Where the row with `key` stands now; -1 once it was deleted.
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

    // "删除选中": deletes the rows whose check box is set, keeping the order of
    // the others.
    void DeleteChecked();
    // "清空列表".
    void Clear();
    // Every row's check box becomes its selection state.
    void SyncChecksToSelection();
    // The row an upload run takes: selected (other selected rows stay so)
    // and checked. Only this row's check box changes: a run over a long
    // queue would otherwise walk every row once per row.
    void MarkTaken(int row);

    // Whether a name or folder can go to the site: GBK-writable and free of
    // ">" and "|".
    static bool IsSendable(const QString& text);

    // Rows added between BeginBatch and EndBatch reach the list as one
    // insertion at EndBatch (a listing of thousands of files would
    // otherwise be announced to assistive technology row by row).
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
    void addRow(const QString& name, const QString& sizeText, const QString& folder, const QString& status);

    TListView& lv2_;
    int batching_ = 0;
    QList<QStringList> pending_;  // name, size text, folder, status
};

#pragma once
// What the upload pipeline shows and asks, without knowing how: the window
// puts it into its status bar, buttons and message dialogs, a command-line
// client onto its terminal. The pipeline calls these from inside its runs,
// so an implementation must not start another run from them.

#include <QString>

class UploadPresenter {
public:
    virtual ~UploadPresenter() = default;

    // A status text. Texts marked `frequent` come once per file or per
    // progress step of a run and may be shown coalesced (the last one
    // counts); the others are shown at once.
    virtual void ShowStatus(const QString& text, bool frequent) = 0;
    // The gauge: the share of the run's bytes on the server, 0..100; may be
    // shown coalesced.
    virtual void ShowGauge(int percent) = 0;
    // The same in bytes: `done` of the file's `total` are on the server.
    virtual void ShowBytes(qint64 /*done*/, qint64 /*total*/) {}
    // The whole run in bytes: `done` of the `total` of all its files are
    // on the server (the gauge shows this share).
    virtual void ShowRunBytes(qint64 /*done*/, qint64 /*total*/) {}
    // The upload button: busy ("上传中...", disabled) while an announcement
    // or a run owns it, else ready ("上传文件", enabled).
    virtual void SetUploadBusy(bool busy) = 0;
    // "暂停" and "取消".
    virtual void SetAbortEnabled(bool enabled) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    // An information message with OK and Cancel; true for OK.
    virtual bool Confirm(const QString& question) = 0;
    // An information message with OK.
    virtual void Inform(const QString& message) = 0;
    // The open dialog for files to queue ("请选择本地文件进行上传" was
    // confirmed with an empty queue).
    virtual void AddLocalFiles() = 0;
    // The run takes the queue's row `row` (by index, as the queue stands).
    virtual void RowTaken(int row) = 0;
    // The row the run took has its final status (sent, skipped, failed or
    // missing); `row` is where it stands now, -1 when it was deleted.
    virtual void FileEnded(int row) = 0;
    // The run has come to rest: finished, failed or paused.
    virtual void RunEnded() = 0;
};

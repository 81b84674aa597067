#pragma once
// What the upload pipeline shows of the main window: the queue page's
// widgets, the status bar, the message dialog, and what it reads of the site
// and the account (UploadSite). The window owns all of it; the upload
// classes hold these references for as long as the window lives.
//
// UploadWindowPresenter puts what the pipeline reports into these widgets.
// The texts, gauge and row statuses a run reports per file or per progress
// step reach the widgets at most every UpdateIntervalMs (the last of them
// counts), and at once when the run comes to rest; everything else is shown
// when it is reported. A run of thousands of small files would otherwise
// spend its time painting, and, with assistive technology listening,
// announcing every change across the accessibility bus.

#include "config/localfiles.h"
#include "login/serversettings.h"
#include "login/sitesession.h"
#include "upload/uploadpresenter.h"
#include "upload/uploadsite.h"

#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;
class TListView;
class TMsgDlg;
class UploadQueueCommands;
class UploadQueueModel;

struct UploadWindow {
    // The queue page.
    TListView& lv2;
    QPushButton& btnUpload;
    QPushButton& btnAbort;
    QPushButton& btnCancel;
    QTabWidget& PageControl1;
    QWidget& PCTask;
    // The status bar.
    QLabel& spStatus1;
    QProgressBar& pb1;
    // Messages, and the parent of the file dialogs.
    TMsgDlg& MsgDlg;
    QWidget* DialogParent;

    const LocalFiles& Files;
    const SiteSession& Session;
    const TSiteSettings& SiteSettings;
    // The folder of the file browser that uploads go to.
    const int& CurrentFolderId;
    // The "postlist" reply of the current click of "上传文件" was accepted
    // (cleared at each click and at each showing of the window).
    bool& PostListAccepted;
    // The queue as it stands has been through a complete upload run.
    bool& UploadFinished;

    // Every text the pipeline puts into spStatus1 passes here too, when it
    // is reported (the status line shows only the last one; tests read the
    // sequence).
    std::function<void(const QString& text)> OnStatusText;

    UploadSite Site() const {
        return {Files, Session, SiteSettings, CurrentFolderId, PostListAccepted, UploadFinished};
    }
    // Shows a text in the status line now.
    void ShowStatus(const QString& text);
};

class UploadWindowPresenter : public UploadPresenter {
public:
    UploadWindowPresenter(UploadWindow& window, UploadQueueModel& queueModel, UploadQueueCommands& commands);

    void ShowStatus(const QString& text, bool frequent) override;
    void ShowGauge(int percent) override;
    void SetUploadBusy(bool busy) override;
    void SetAbortEnabled(bool enabled) override;
    void SetCancelEnabled(bool enabled) override;
    bool Confirm(const QString& question) override;
    void Inform(const QString& message) override;
    void AddLocalFiles() override;
    void RowTaken(int row) override;
    void FileEnded(int row) override;
    void RunEnded() override;

    // Shows what is pending now.
    void Flush();

    int UpdateIntervalMs = 50;

private:
    // Shows the pending texts at the next tick.
    void schedule();

    UploadWindow& w_;
    UploadQueueModel& queueModel_;
    UploadQueueCommands& commands_;
    QTimer tick_;
    std::optional<QString> pendingStatus_;
    std::optional<int> pendingGauge_;
};

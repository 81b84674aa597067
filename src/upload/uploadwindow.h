#pragma once
// What the upload pipeline reads and writes of the main window: the queue
// page's widgets, the status bar, the message dialog, the account, the
// site's settings, the remote folder that is open, and the two flags the
// window resets at each showing. The window owns all of it; the upload
// classes hold these references for as long as the window lives.

#include "config/localfiles.h"
#include "login/serversettings.h"
#include "login/sitesession.h"

#include <QString>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QWidget;
class TListView;
class TMsgDlg;

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

    // Every text the pipeline puts into spStatus1 passes here too (the
    // status line shows only the last one; tests read the sequence).
    std::function<void(const QString& text)> OnStatusText;

    void ShowStatus(const QString& text);
};

#pragma once
// The "下载队列" page of the main window and the status bar, presenting the
// download scheduler: the list lv3 (through DownloadQueueModel), its context
// menu (pause, continue, remove, open the folder, clear finished rows), the
// status text and gauge for the queue as a whole, and for each file that
// ends its sound and its status text ("文件【name】下载完成" ...).

#include "download/downloadscheduler.h"
#include "download/gui/downloadqueuemodel.h"

#include <QElapsedTimer>
#include <QString>
#include <functional>

class QLabel;
class QProgressBar;
class QTabWidget;
class QWidget;
class TListView;
class TMsgDlg;

struct DownloadQueueWidgets {
    TListView& lv3;
    QTabWidget& PageControl1;
    QWidget& PCDown;
    QLabel& spStatus1;
    QProgressBar& pb1;
    TMsgDlg& MsgDlg;
    QWidget* DialogParent;
};

class DownloadQueuePage : public DownloadPresenter {
public:
    DownloadQueuePage(const DownloadQueueWidgets& widgets, QString okSound, QString errorSound);

    // The scheduler this page presents (made after the page, which it reports to).
    void Attach(DownloadScheduler& scheduler, DownloadQueueModel& model);

    // The context menu of lv3, on the selected rows.
    void PauseClick();
    void ContinueClick();
    // Removes the selected rows; when some hold a partial file, asks whether
    // to delete it too.
    void RemoveClick();
    // Opens the folder of the current row in the file manager.
    void OpenFolderClick();
    void ClearFinishedClick();

    // The sound player and the file manager; tests replace them.
    std::function<void(const QString& soundFile)> PlaySound;
    std::function<void(const QString& folder)> OpenFolder;
    // Every status text the page shows passes here too.
    std::function<void(const QString& text)> OnStatusText;
    // A file ended by itself (the desktop's notice): its name, and whether
    // it is complete.
    std::function<void(const QString& name, bool complete)> OnFileEnded;

    void FileStarted(int row) override;
    void FileEnded(int row) override;
    void FileStartedOver(int row, const QString& why) override;
    void FolderFailed(const QString& folder, const QString& why) override;
    void QueueProgress() override;

private:
    QList<int> selectedRows() const;
    void showStatus(const QString& text, bool aboutOneFile);

    DownloadQueueWidgets w_;
    QString okSound_;
    QString errorSound_;
    DownloadScheduler* scheduler_ = nullptr;
    DownloadQueueModel* model_ = nullptr;
    QElapsedTimer sinceFileText_;
};

#pragma once
// The download window: shows the chosen remote file (address, name, size,
// type) or, for a selection of several files and folders, their count
// ("N 个文件，M 个目录"), lets the user change the local name of a single
// file, the save folder and the ranges per file ("下载连接数"), and queues
// the download with "立即下载": the files join the download queue (see
// downloadscheduler.h), folders are listed there and their files queued
// with the tree kept. Queuing never stops a download that runs.

#include "config/localfiles.h"
#include "download/downloadscheduler.h"
#include "login/sitesession.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMsgDlg;

// A file row of the listing offered for download.
struct OfferedFile {
    QString Id;
    QString Name;
    QString SizeText;
};

class TDownFrm : public QDialog {
    Q_OBJECT
public:
    // `queue`: the main window's download queue, which the downloads join.
    TDownFrm(const LocalFiles& files, TMsgDlg& msgDlg, const SiteSession& session, DownloadScheduler& queue,
             QWidget* parent = nullptr);

    QLineEdit* dl_addr;
    QLineEdit* dl_name;
    QComboBox* dl_dir;  // save folders, each ending with "/"; the current one is used
    QPushButton* spSkinSpeedButton1;  // "更换.."
    QPushButton* spSkinSpeedButton2;  // "打开"
    QLabel* dl_size;
    QLabel* dl_ext;
    QLabel* dl_id;  // hidden
    QComboBox* dl_conn;  // "下载连接数": ranges per file, 1 to 8
    QPushButton* spSkinButton1;  // "立即下载"
    QPushButton* spSkinButton2;  // " 取 消 "

    DownloadScheduler& Queue;
    // Keeps a "下载连接数" the user chose in the program's options (and
    // quellix.ini). Without it the window writes quellix.ini itself.
    std::function<void(int connections)> SaveConnections;

    // The file the main window offers (from its listing row).
    void SetFile(const QString& address, const QString& name, const QString& sizeText, const QString& typeText,
                 const QString& id);
    // Several rows offered at once: files and folders; the name field shows
    // their count.
    void SetSelection(const QString& address, const QList<OfferedFile>& files, const QList<RemoteFolder>& folders);
    // The selection offered: one file (SetFile) or several rows.
    bool OffersSelection() const { return selection_; }

    void FormShow();
    void spSkinSpeedButton1Click();  // choose another save folder
    void spSkinSpeedButton2Click();  // open the save folder
    void spSkinButton1Click();       // start and close
    void spSkinButton2Click();       // close
    // Queues the offered file or selection; false when nothing was queued
    // and the window should stay open (no usable save folder).
    bool StartDownload();

    // The folder dialog (gives "" when cancelled) and the file manager;
    // tests replace them.
    std::function<QString(QWidget* parent, const QString& title)> ChooseFolder;
    std::function<void(const QString& folder)> OpenFolder;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();

    const LocalFiles& files_;
    TMsgDlg& msgDlg_;
    const SiteSession& session_;
    bool selection_ = false;
    QList<OfferedFile> offeredFiles_;
    QList<RemoteFolder> offeredFolders_;
};

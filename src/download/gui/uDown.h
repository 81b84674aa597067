#pragma once
// The download window: shows the chosen remote file (address, name, size,
// type), lets the user change the local name and the save folder, and starts
// the download of the file, which goes on in the background after the window
// has closed (see filedownload.h).

#include "config/localfiles.h"
#include "download/filedownload.h"
#include "login/sitesession.h"

#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TMsgDlg;

class TDownFrm : public QDialog {
    Q_OBJECT
public:
    // `statusText` and `gauge`: the main window's status text and gauge,
    // which the running download writes.
    TDownFrm(const LocalFiles& files, TMsgDlg& msgDlg, const SiteSession& session, QLabel& statusText,
             QProgressBar& gauge, QWidget* parent = nullptr);

    QLineEdit* dl_addr;
    QLineEdit* dl_name;
    QComboBox* dl_dir;  // save folders, each ending with "/"; the current one is used
    QPushButton* spSkinSpeedButton1;  // "更换.."
    QPushButton* spSkinSpeedButton2;  // "打开"
    QLabel* dl_size;
    QLabel* dl_ext;
    QLabel* dl_id;  // hidden
    QPushButton* spSkinButton1;  // "立即下载"
    QPushButton* spSkinButton2;  // " 取 消 "

    FileDownload Download;
    TMultipartHttpDownloader& HttpDownFile;

    // The file the main window offers (from its listing row).
    void SetFile(const QString& address, const QString& name, const QString& sizeText, const QString& typeText,
                 const QString& id);

    void FormShow();
    void spSkinSpeedButton1Click();  // choose another save folder
    void spSkinSpeedButton2Click();  // open the save folder
    void spSkinButton1Click();       // start and close
    void spSkinButton2Click();       // close
    // Names the local file and starts the download; false when nothing was
    // started and the window should stay open.
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
};

#pragma once
// The skin manager window: the skins the site offers, a preview of the
// selected one, "使用皮肤" (fetch if needed, apply to every window, remember
// in the settings file) and "删除皮肤" (delete the downloaded package). The
// work is done by SkinManager; the window reads and writes its widgets.

#include "skinmgr/skinmanager.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class TJpegPicture;
class TMsgDlg;

class TSkinFrm : public QDialog {
    Q_OBJECT
public:
    TSkinFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, const SiteSession& session,
             const TSiteSettings& settings, const QByteArray& vendorHomeUrl, QWidget* parent = nullptr);

    QGroupBox* spSkinGroupBox1;  // "可用皮肤"
    QListWidget* SLBox;
    QGroupBox* spSkinGroupBox2;  // "皮肤预览"
    TJpegPicture* PVImg;
    QPushButton* SKBtnApply;  // "使用皮肤"
    QPushButton* SKBtnDel;    // "删除皮肤"
    QStatusBar* spSkinStatusBar1;
    QLabel* SFStatus;

    SkinManager Manager;
    TMultipartHttpDownloader& HttpDownFile;
    TMultipartHttpDownloader& HttpImg;
    QByteArray& SelectedSkin;

    void FormShow();
    void SLBoxListBoxClick();
    void SLBoxListBoxDblClick();
    void SKBtnApplyClick();
    void SKBtnDelClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();

    TMsgDlg& msgDlg_;
    const SiteSession& session_;
    bool selectionMovedSincePress_ = false;  // since the last press in the list
};

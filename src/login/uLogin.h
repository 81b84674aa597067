#pragma once
// The login window: the first window the user sees and the application's
// main window. It names the site, takes the user name and password, probes
// the site, posts the credentials and keeps the account of an accepted reply.

#include "config/localfiles.h"
#include "login/sitesession.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

class QLabel;
class TLinkLabel;
class TMsgDlg;
class TSkinData;

class TLoginFrm : public QWidget {
    Q_OBJECT
public:
    TLoginFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, QWidget* parent = nullptr);
    ~TLoginFrm() override;

    // The site and the signed-in account, read by the other windows.
    const SiteSession& Session() const { return session_; }

    // Hides this window and shows the main window after an accepted login.
    std::function<void()> ShowMainWindow;

    QLabel* Welcome_txt;
    QLabel* spSkinStdLabel1;
    QLineEdit* ED_User;
    QLabel* spSkinStdLabel2;
    QLineEdit* ED_Pwd;
    TLinkLabel* LK_Reg;
    TLinkLabel* LK_Forget;
    QPushButton* btnLogin;
    QPushButton* spSkinButton1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void FormCreate();
    void FormShow();

    const LocalFiles& files_;
    TMsgDlg& msgDlg_;
    TSkinData& skinData_;
    SiteSession session_;
};

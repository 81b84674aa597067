#pragma once
// The login window: the first window the user sees and the application's
// main window. It names the site, takes the user name and password, probes
// the site, posts the credentials and keeps the account of an accepted reply.

#include "config/localfiles.h"
#include "login/gui/sitedialog.h"
#include "login/sitelogin.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>

class QLabel;
class SavedLogin;
class TLinkLabel;
class TMsgDlg;
class TSkinData;

class TLoginFrm : public QWidget {
    Q_OBJECT
public:
    // `askSite`, when given, is offered after the message about a missing
    // "quellix.cfg": a site it returns is written as the user's quellix.cfg
    // and used. `savedLogin`, when given, keeps the login in the keyring
    // ("记住密码", "自动登录"); without it the two boxes stay disabled.
    TLoginFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, QWidget* parent = nullptr,
              SiteAsker askSite = nullptr, SavedLogin* savedLogin = nullptr);
    ~TLoginFrm() override;

    // The site and the signed-in account, read by the other windows.
    const SiteSession& Session() const { return login_.Session; }

    // Hides this window and shows the main window after an accepted login.
    std::function<void()> ShowMainWindow;

    // "登 录" and Enter in the password field.
    void btnLoginClick();
    // The login reply, as the site login reports it.
    void LoginDone(const SiteLogin::Result& result);
    // "切换帐号" of the main window: forgets the account, hides the main
    // window and shows this one again.
    void SwitchAccount(QWidget& mainWindow);

    // The password field shows a saved login (its text is a stand-in;
    // the keyring's secret is what a login sends).
    bool UsingSavedSecret() const { return usingSavedSecret_; }

    // The site probe (HttpAds); its time limit can be shortened.
    SiteProbe& Probe() { return login_.Probe(); }
    // The login itself, without the window.
    SiteLogin& Login() { return login_; }

private:
    SiteLogin login_;

public:
    THttpCli& HttpCli1 = login_.HttpCli1;
    THttpCli& HttpAds = login_.HttpAds;

    QLabel* Welcome_txt;
    QLabel* spSkinStdLabel1;
    QLineEdit* ED_User;
    QLabel* spSkinStdLabel2;
    QLineEdit* ED_Pwd;
    QCheckBox* CB_Remember;   // "记住密码"
    QCheckBox* CB_AutoLogin;  // "自动登录"
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
    // A refused login: the message as a warning, the password emptied and
    // the button back.
    void refuseLogin(const QString& message);
    // A login request that failed or was answered with another status
    // than 200.
    void loginFailed(quint16 errCode, int status);
    // The saved login of this site: the boxes, the account and the
    // password field as the options and the keyring hold them.
    void showSavedLogin();
    void switchesChanged();
    // After "切换帐号": offers to forget the account's saved secret.
    void offerToForget(const QByteArray& account);

    const LocalFiles& files_;
    TMsgDlg& msgDlg_;
    TSkinData& skinData_;
    SiteAsker askSite_;
    bool centred_ = false;
    SavedLogin* savedLogin_;
    bool usingSavedSecret_ = false;  // ED_Pwd holds the stand-in of a saved secret
    bool sentWithSavedSecret_ = false;
    QByteArray sentAccount_;  // the trimmed name and the digest of the login sent last
    QByteArray sentDigest_;
    bool firstShowing_ = true;
};

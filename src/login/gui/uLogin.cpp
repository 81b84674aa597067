#include "login/gui/uLogin.h"

#include "config/settingsfile.h"
#include "config/siteconfig.h"
#include "login/savedlogin.h"
#include "net/nestedwait.h"
#include "platform/gui/placement.h"
#include "platform/gui/guarded.h"
#include "platform/gui/linklabel.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "platform/gui/shell.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QTimer>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// What the password field shows for a saved login: as many dots as a
// password might have; the text itself is never sent.
const QString kSavedSecretStandIn = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");
}  // namespace

TLoginFrm::TLoginFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, QWidget* parent,
                     SiteAsker askSite, SavedLogin* savedLogin)
    : QWidget(parent), files_(files), msgDlg_(msgDlg), skinData_(skinData), askSite_(std::move(askSite)),
      savedLogin_(savedLogin) {
    buildLayout();
    login_.OnPosting = [this] { btnLogin->setText(u("登录中...")); };
    login_.OnLoginDone = [this](const SiteLogin::Result& result) { LoginDone(result); };
    RunGuarded([this] { FormCreate(); });
    RunGuarded([this] { showSavedLogin(); });
}

TLoginFrm::~TLoginFrm() = default;

void TLoginFrm::buildLayout() {
    setObjectName(QStringLiteral("TLoginFrm"));
    // A plain widget window draws the skin's background (colour and banner
    // picture) only when asked to.
    setAttribute(Qt::WA_StyledBackground, true);
    setWindowTitle(u("网盘用户登录"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(422, 246);

    Welcome_txt = new QLabel(this);
    Welcome_txt->setObjectName(QStringLiteral("Welcome_txt"));
    Welcome_txt->setGeometry(21, 26, 380, 32);
    Welcome_txt->setAlignment(Qt::AlignCenter);
    QFont big = Welcome_txt->font();
    big.setPixelSize(17);
    big.setBold(true);
    Welcome_txt->setFont(big);

    spSkinStdLabel1 = new QLabel(u("网盘帐号："), this);
    spSkinStdLabel1->setGeometry(56, 78, 72, 26);
    ED_User = new QLineEdit(this);
    ED_User->setObjectName(QStringLiteral("ED_User"));
    ED_User->setGeometry(130, 78, 180, 26);
    LK_Reg = new TLinkLabel(u("注册帐号"), this);
    LK_Reg->setGeometry(320, 78, 64, 26);

    spSkinStdLabel2 = new QLabel(u("登录密码："), this);
    spSkinStdLabel2->setGeometry(56, 116, 72, 26);
    ED_Pwd = new QLineEdit(this);
    ED_Pwd->setObjectName(QStringLiteral("ED_Pwd"));
    ED_Pwd->setEchoMode(QLineEdit::Password);
    ED_Pwd->setGeometry(130, 116, 180, 26);
    LK_Forget = new TLinkLabel(u("忘记密码"), this);
    LK_Forget->setGeometry(320, 116, 64, 26);

    CB_Remember = new QCheckBox(SavedLoginText::RememberBox(), this);
    CB_Remember->setObjectName(QStringLiteral("CB_Remember"));
    CB_Remember->setGeometry(130, 150, 90, 24);
    CB_AutoLogin = new QCheckBox(SavedLoginText::AutoLoginBox(), this);
    CB_AutoLogin->setObjectName(QStringLiteral("CB_AutoLogin"));
    CB_AutoLogin->setGeometry(225, 150, 85, 24);

    btnLogin = new QPushButton(u("登 录"), this);
    btnLogin->setObjectName(QStringLiteral("btnLogin"));
    btnLogin->setGeometry(130, 186, 85, 30);
    btnLogin->setDefault(true);
    spSkinButton1 = new QPushButton(u("网页版本"), this);
    spSkinButton1->setGeometry(225, 186, 85, 30);

    ED_User->setAccessibleName(u("网盘帐号"));
    ED_Pwd->setAccessibleName(u("登录密码"));
    spSkinStdLabel1->setBuddy(ED_User);
    spSkinStdLabel2->setBuddy(ED_Pwd);
    CB_Remember->setAccessibleName(SavedLoginText::RememberBox());
    CB_AutoLogin->setAccessibleName(SavedLoginText::AutoLoginBox());
    setTabOrder(ED_User, ED_Pwd);
    setTabOrder(ED_Pwd, CB_Remember);
    setTabOrder(CB_Remember, CB_AutoLogin);
    setTabOrder(CB_AutoLogin, btnLogin);
    setTabOrder(btnLogin, spSkinButton1);
    for (QWidget* w : {static_cast<QWidget*>(LK_Reg), static_cast<QWidget*>(LK_Forget)})
        w->setFocusPolicy(Qt::NoFocus);

    ConnectGuarded(spSkinButton1, &QPushButton::clicked, this, [this] { ShellOpenAddress(login_.Session.SiteUrl); });
    ConnectGuarded(btnLogin, &QPushButton::clicked, this, [this] { btnLoginClick(); });
    ConnectGuarded(ED_Pwd, &QLineEdit::returnPressed, this, [this] { btnLoginClick(); });
    // Typing replaces a saved login: a new password, or another account
    // whose saved secret is not the one shown.
    ConnectGuarded(ED_Pwd, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!usingSavedSecret_)
            return;
        usingSavedSecret_ = false;
        // The stand-in is no password: only what the user typed into it stays.
        QString typed = text;
        typed.remove(kSavedSecretStandIn.at(0));
        ED_Pwd->setText(typed);
    });
    ConnectGuarded(ED_User, &QLineEdit::textEdited, this, [this] {
        if (!usingSavedSecret_)
            return;
        usingSavedSecret_ = false;
        ED_Pwd->clear();
    });
    ConnectGuarded(CB_Remember, &QCheckBox::toggled, this, [this] { switchesChanged(); });
    ConnectGuarded(CB_AutoLogin, &QCheckBox::toggled, this, [this] { switchesChanged(); });
}

void TLoginFrm::showSavedLogin() {
    if (!savedLogin_ || !savedLogin_->KeyringAvailable()) {
        const QString why = savedLogin_ ? savedLogin_->KeyringUnavailableReason()
                                        : u("没有系统钥匙环，无法保存密码。");
        for (QCheckBox* box : {CB_Remember, CB_AutoLogin}) {
            box->setChecked(false);
            box->setEnabled(false);
            box->setToolTip(why);
            box->setAccessibleDescription(why);
        }
        return;
    }
    const SavedLogin::Start start = savedLogin_->AtStart(login_.Session.SiteUrl);
    {
        const QSignalBlocker quietRemember(CB_Remember);
        const QSignalBlocker quietAuto(CB_AutoLogin);
        CB_Remember->setChecked(start.remember);
        CB_AutoLogin->setChecked(start.autoLogin);
        CB_AutoLogin->setEnabled(start.remember);
    }
    if (!start.account.isEmpty())
        ED_User->setText(FromGbk(start.account));
    if (start.secretStored) {
        ED_Pwd->setText(kSavedSecretStandIn);
        usingSavedSecret_ = true;
    }
}

void TLoginFrm::switchesChanged() {
    if (!savedLogin_)
        return;
    const bool remember = CB_Remember->isChecked();
    CB_AutoLogin->setEnabled(remember);
    if (!remember && CB_AutoLogin->isChecked()) {
        // Logging in by itself needs the saved secret.
        const QSignalBlocker quiet(CB_AutoLogin);
        CB_AutoLogin->setChecked(false);
    }
    savedLogin_->SetSwitches(remember, CB_AutoLogin->isChecked());
}

void TLoginFrm::FormCreate() {
    std::optional<SiteConfig> config = ReadSiteConfig(files_);
    if (!config) {
        msgDlg_.MessageDlg(u("网盘配置读取失败，请重新安装网盘客户端"), TMsgDlgType::mtInformation,
                           TMsgDlgButtons::mbOK, this);
        const std::optional<SiteAddress> site = askSite_ ? askSite_(this) : std::nullopt;
        if (!site)
            return;
        WriteUserSiteConfig(files_, site->SiteUrl, site->SiteName);
        config = ReadSiteConfig(files_);
        if (!config)
            return;
    }
    login_.Session.SiteUrl = config->SiteUrl;
    login_.Session.SiteName = config->SiteName;
    login_.Session.VendorHomeUrl = config->VendorHomeUrl;
    login_.Session.LoggedIn = false;
    Welcome_txt->setText(u("欢迎使用 ") + FromGbk(login_.Session.SiteName));
}

void TLoginFrm::FormShow() {
    login_.Session.SkinName = "Laconic";
    ED_User->setFocus();
    if (const std::optional<QByteArray> skin = ReadSettingsSkinName(files_)) {
        const QString package = files_.skinPackage(FromGbk(*skin));
        if (QFile::exists(package)) {
            login_.Session.SkinName = *skin;
            skinData_.LoadFromFile(package);
        }
    }
    LK_Reg->URL = login_.Session.SiteUrl + "account.php?action=register";
    LK_Forget->URL = login_.Session.SiteUrl + "account.php?action=forget_pwd";
}

void TLoginFrm::btnLoginClick() {
    const QByteArray name = ToGbk(ED_User->text());
    sentAccount_ = TrimBlanks(name);
    sentWithSavedSecret_ = false;
    SiteLogin::Start start = SiteLogin::Start::MissingCredentials;
    const QByteArray saved = usingSavedSecret_ && savedLogin_
                                 ? savedLogin_->StoredDigest(login_.Session.SiteUrl, sentAccount_)
                                 : QByteArray();
    if (!saved.isEmpty()) {
        sentWithSavedSecret_ = true;
        sentDigest_ = saved;
        start = login_.LoginWithDigest(name, saved);
    } else {
        if (usingSavedSecret_) {
            // The keyring no longer holds it: the password has to be typed.
            usingSavedSecret_ = false;
            ED_Pwd->clear();
        }
        const QByteArray password = ToGbk(ED_Pwd->text());
        sentDigest_ = PasswordDigest(password);
        start = login_.Login(name, password);
    }
    switch (start) {
    case SiteLogin::Start::MissingCredentials:
        msgDlg_.MessageDlg(u("请输入正确的网盘用户名及密码"), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, this);
        return;
    case SiteLogin::Start::SiteNotAnswering:
        // The proxy in the way, named, rather than a site that seems down.
        if (!login_.Probe().LastProxyFailure.isEmpty()) {
            msgDlg_.MessageDlg(FromGbk(login_.Probe().LastProxyFailure), TMsgDlgType::mtInformation,
                               TMsgDlgButtons::mbOK, this);
            return;
        }
        msgDlg_.MessageDlg(u("网盘主站无响应或配置异常，请联系网盘管理员解决！"), TMsgDlgType::mtInformation,
                           TMsgDlgButtons::mbOK, this);
        return;
    case SiteLogin::Start::Sent:
        return;
    }
}

void TLoginFrm::LoginDone(const SiteLogin::Result& result) {
    if (!result.answered) {
        loginFailed(result.errCode, result.status);
        return;
    }
    switch (result.reply.kind) {
    case LoginReply::Kind::Nothing:
        return;
    case LoginReply::Kind::Refused:
        refuseLogin(FromGbk(result.reply.Message));
        return;
    case LoginReply::Kind::NoAccount:
        refuseLogin(u("登录失败：网站的回复中没有帐号或登录凭据。"));
        return;
    case LoginReply::Kind::LoggedIn:
        break;
    }
    if (savedLogin_ && savedLogin_->KeyringAvailable()) {
        const QString trouble = savedLogin_->LoginAccepted(login_.Session.SiteUrl, sentAccount_, sentDigest_);
        if (!trouble.isEmpty())
            msgDlg_.MessageDlg(trouble, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
    }
    if (ShowMainWindow)
        ShowMainWindow();
}

void TLoginFrm::refuseLogin(const QString& message) {
    QString text = message;
    if (savedLogin_ && sentWithSavedSecret_) {
        // A saved secret the site refuses is of no use any more.
        const QString removed = savedLogin_->LoginRefused(login_.Session.SiteUrl, sentAccount_, true);
        if (!removed.isEmpty())
            text += QLatin1Char('\n') + removed;
    }
    sentWithSavedSecret_ = false;
    usingSavedSecret_ = false;
    msgDlg_.MessageDlg(text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
    ED_User->setFocus();
    ED_Pwd->clear();
    btnLogin->setText(u("登 录"));
}

void TLoginFrm::loginFailed(quint16 errCode, int status) {
    // The button comes back for another attempt. The blocking post reports
    // the statuses it raises for (400 and more, other than 401 and 407)
    // itself; any other ending would otherwise show nothing at all.
    btnLogin->setText(u("登 录"));
    if (status >= 400 && status != 401 && status != 407)
        return;
    const QString reason = errCode != 0 ? u("连接出错（错误 %1）").arg(errCode) : u("网站返回状态 %1").arg(status);
    msgDlg_.MessageDlg(u("登录失败：") + reason + u("。"), TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
}

void TLoginFrm::SwitchAccount(QWidget& mainWindow) {
    const QByteArray account = sentAccount_;
    login_.SwitchAccount();
    mainWindow.hide();
    show();
    btnLogin->setText(u("登 录"));
    offerToForget(account);
}

void TLoginFrm::offerToForget(const QByteArray& account) {
    if (!savedLogin_ || account.isEmpty() || !savedLogin_->KeyringAvailable() || !CB_Remember->isChecked())
        return;
    if (savedLogin_->StoredDigest(login_.Session.SiteUrl, account).isEmpty())
        return;
    if (msgDlg_.MessageDlg(SavedLoginText::ForgetQuestion(FromGbk(account)), TMsgDlgType::mtConfirmation,
                           TMsgDlgButtons::mbOKCancel, this) != TModalResult::mrOk)
        return;
    const QString trouble = savedLogin_->Forget(login_.Session.SiteUrl, account);
    {
        const QSignalBlocker quietRemember(CB_Remember);
        const QSignalBlocker quietAuto(CB_AutoLogin);
        CB_Remember->setChecked(savedLogin_->Options().rememberPassword);
        CB_AutoLogin->setChecked(savedLogin_->Options().autoLogin);
        CB_AutoLogin->setEnabled(CB_Remember->isChecked());
    }
    if (usingSavedSecret_) {
        usingSavedSecret_ = false;
        ED_Pwd->clear();
    }
    if (!trouble.isEmpty())
        msgDlg_.MessageDlg(trouble, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
}

void TLoginFrm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(*this);
    }
    RunGuarded([this] { FormShow(); });
    if (firstShowing_) {
        firstShowing_ = false;
        // "自动登录": the login starts by itself once, after the window is
        // up, as if the user had pressed the button.
        if (savedLogin_ && savedLogin_->TakeAutoLogin())
            QTimer::singleShot(0, this, [this] { RunGuarded([this] { btnLoginClick(); }); });
    }
}

void TLoginFrm::closeEvent(QCloseEvent* event) {
    // Closing the login window ends the program.
    QWidget::closeEvent(event);
    SetApplicationTerminating(true);
    QApplication::quit();
}

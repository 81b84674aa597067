#include "login/gui/uLogin.h"

#include "config/settingsfile.h"
#include "config/siteconfig.h"
#include "net/nestedwait.h"
#include "platform/gui/placement.h"
#include "platform/gui/guarded.h"
#include "platform/gui/linklabel.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "platform/gui/shell.h"
#include "text/gbk.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TLoginFrm::TLoginFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, QWidget* parent,
                     SiteAsker askSite)
    : QWidget(parent), files_(files), msgDlg_(msgDlg), skinData_(skinData), askSite_(std::move(askSite)) {
    buildLayout();
    login_.OnPosting = [this] { btnLogin->setText(u("登录中...")); };
    login_.OnLoginDone = [this](const SiteLogin::Result& result) { LoginDone(result); };
    RunGuarded([this] { FormCreate(); });
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
    spSkinStdLabel1->setGeometry(56, 86, 72, 26);
    ED_User = new QLineEdit(this);
    ED_User->setObjectName(QStringLiteral("ED_User"));
    ED_User->setGeometry(130, 86, 180, 26);
    LK_Reg = new TLinkLabel(u("注册帐号"), this);
    LK_Reg->setGeometry(320, 86, 64, 26);

    spSkinStdLabel2 = new QLabel(u("登录密码："), this);
    spSkinStdLabel2->setGeometry(56, 128, 72, 26);
    ED_Pwd = new QLineEdit(this);
    ED_Pwd->setObjectName(QStringLiteral("ED_Pwd"));
    ED_Pwd->setEchoMode(QLineEdit::Password);
    ED_Pwd->setGeometry(130, 128, 180, 26);
    LK_Forget = new TLinkLabel(u("忘记密码"), this);
    LK_Forget->setGeometry(320, 128, 64, 26);

    btnLogin = new QPushButton(u("登 录"), this);
    btnLogin->setObjectName(QStringLiteral("btnLogin"));
    btnLogin->setGeometry(130, 182, 85, 30);
    btnLogin->setDefault(true);
    spSkinButton1 = new QPushButton(u("网页版本"), this);
    spSkinButton1->setGeometry(225, 182, 85, 30);

    ED_User->setAccessibleName(u("网盘帐号"));
    ED_Pwd->setAccessibleName(u("登录密码"));
    spSkinStdLabel1->setBuddy(ED_User);
    spSkinStdLabel2->setBuddy(ED_Pwd);
    setTabOrder(ED_User, ED_Pwd);
    setTabOrder(ED_Pwd, btnLogin);
    setTabOrder(btnLogin, spSkinButton1);
    for (QWidget* w : {static_cast<QWidget*>(LK_Reg), static_cast<QWidget*>(LK_Forget)})
        w->setFocusPolicy(Qt::NoFocus);

    ConnectGuarded(spSkinButton1, &QPushButton::clicked, this, [this] { ShellOpenAddress(login_.Session.SiteUrl); });
    ConnectGuarded(btnLogin, &QPushButton::clicked, this, [this] { btnLoginClick(); });
    ConnectGuarded(ED_Pwd, &QLineEdit::returnPressed, this, [this] { btnLoginClick(); });
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
    switch (login_.Login(ToGbk(ED_User->text()), ToGbk(ED_Pwd->text()))) {
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
    if (ShowMainWindow)
        ShowMainWindow();
}

void TLoginFrm::refuseLogin(const QString& message) {
    msgDlg_.MessageDlg(message, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
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
    login_.SwitchAccount();
    mainWindow.hide();
    show();
    btnLogin->setText(u("登 录"));
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
}

void TLoginFrm::closeEvent(QCloseEvent* event) {
    // Closing the login window ends the program.
    QWidget::closeEvent(event);
    SetApplicationTerminating(true);
    QApplication::quit();
}

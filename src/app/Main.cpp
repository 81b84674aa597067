#include "app/Main.h"

#include "about/uVersion.h"
#include "disk/uLink.h"
#include "download/uDown.h"
#include "login/uLogin.h"
#include "net/nestedwait.h"
#include "platform/gui/guarded.h"
#include "platform/gui/icons.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/shell.h"
#include "skinmgr/uSkin.h"
#include "text/base64.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QScreen>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The vendor's home page when the site configuration names none: base of the
// skin catalogue and of the support link.
const QByteArray kBuiltInVendorHomeUrl = "https://www.quellix.net/";
}  // namespace

TMainFrm::TMainFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, TLoginFrm& loginFrm,
                   QWidget* parent)
    : QMainWindow(parent), files_(files), msgDlg_(msgDlg), skinData_(skinData), loginFrm_(loginFrm) {
    build(this);
    connectHandlers();
    RunGuarded([this] { FormCreate(); });
}

TMainFrm::~TMainFrm() = default;

void TMainFrm::AttachWindows(TLinkFrm* linkFrm, TDownFrm* downFrm, TSkinFrm* skinFrm, TVerFrm* verFrm) {
    linkFrm_ = linkFrm;
    downFrm_ = downFrm;
    skinFrm_ = skinFrm;
    verFrm_ = verFrm;
}

void TMainFrm::connectHandlers() {
    ConnectGuarded(N10, &QAction::triggered, this, [this] { N10Click(); });
    ConnectGuarded(N11, &QAction::triggered, this, [this] { N11Click(); });
    ConnectGuarded(N13, &QAction::triggered, this, [this] { N13Click(); });
    ConnectGuarded(N16, &QAction::triggered, this, [this] { N16Click(); });
    ConnectGuarded(N18, &QAction::triggered, this, [this] { N18Click(); });
}

void TMainFrm::FormCreate() {
    ClientVersion = "2.2";
    ClientBuild = "20130122";
    SmallIconList = GetSystemImageListHandle(1);
    LargeIconList = GetSystemImageListHandle(0);
    lv1->SetImageLists(SmallIconList, LargeIconList);
    lv2->SetImageLists(SmallIconList, LargeIconList);
}

void TMainFrm::FormShow() {
    const SiteSession& session = loginFrm_.Session();
    const QString skins = files_.skinsFolder();
    if (!QDir(skins).exists() && !QDir().mkpath(skins))
        msgDlg_.MessageDlg(u("目录 ") + skins + u(" 创建失败，请确认拥有相应权限。"), TMsgDlgType::mtInformation,
                           TMsgDlgButtons::mbOK, this);

    spLoginLink->setText(u("当前用户：") + FromGbk(session.AccountName));
    const QByteArray sign = Md5Hex("passportlogin" + session.AccountName + session.AccountToken);
    const QByteArray query = "action=passportlogin&username=" + session.AccountName +
                             "&password=" + session.AccountToken + "&sign=" + sign;
    spLoginLink->URL = session.SiteUrl + "plugins/quellix_client/passport.php?" + Base64Encode(query);

    VendorHomeUrl = session.VendorHomeUrl.isEmpty() ? kBuiltInVendorHomeUrl : session.VendorHomeUrl;

    loading->hide();
    if (linkFrm_)
        linkFrm_->hide();
    if (downFrm_)
        downFrm_->hide();
    WBPanel->hide();
    PageControl1->setCurrentWidget(PCDisk);
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
    }
    RunGuarded([this] { FormShow(); });
}

void TMainFrm::FormClose() {
    // Transfers in progress are abandoned without a question.
    SetApplicationTerminating(true);
    QApplication::quit();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    RunGuarded([this] { FormClose(); });
}

void TMainFrm::N10Click() {}

void TMainFrm::N11Click() { FormClose(); }

void TMainFrm::N13Click() {
    if (skinFrm_)
        skinFrm_->exec();
}

void TMainFrm::N16Click() {
    if (verFrm_)
        verFrm_->exec();
}

void TMainFrm::N18Click() { ShellOpenAddress(loginFrm_.Session().SiteUrl); }

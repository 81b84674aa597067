#include "about/uVersion.h"

#include "about/probedpage.h"
#include "config/localfiles.h"
#include "login/serversettings.h"
#include "login/sitesession.h"
#include "net/siteclient.h"
#include "platform/gui/placement.h"
#include "platform/gui/guarded.h"
#include "platform/gui/linklabel.h"
#include "text/gbk.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QPlainTextEdit* memo(QWidget* tab, const char* name) {
    auto* edit = new QPlainTextEdit(tab);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    return edit;
}

// A memo shows its GBK lines one per line.
QString memoText(const QList<QByteArray>& lines) {
    QStringList text;
    for (const QByteArray& line : lines)
        text.append(FromGbk(line));
    return text.join(QLatin1Char('\n'));
}

}  // namespace

TVerFrm::TVerFrm(const LocalFiles& files, const AboutSources& sources, QWidget* parent)
    : QDialog(parent), files_(files), sources_(sources) {
    buildLayout();
    ApplySiteClientSettings(HttpCli1);
    page_ = std::make_unique<ProbedPage>(*WBPanel, probe_, QStringLiteral("wb2"));
    page_->OnDocumentComplete = [this] { wb2DocumentComplete(); };
    page_->AccessibleName = QString::fromUtf8("关于页面");
    ConnectGuarded(spSkinButton1, &QPushButton::clicked, this, [this] { spSkinButton1Click(); });
    RunGuarded([this] { FormCreate(); });
}

TVerFrm::~TVerFrm() { RunGuarded([this] { FormDestroy(); }); }

QWebEngineView* TVerFrm::wb2() const { return page_->View(); }

void TVerFrm::buildLayout() {
    setObjectName(QStringLiteral("TVerFrm"));
    setWindowTitle(u("关于软件"));
    // Only the close button in the title bar, and no icon.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setFixedSize(505, 342);
    // The web view draws the window through OpenGL. With software OpenGL
    // (Mesa on Xvfb or a VNC server) a GL window that lies wholly over
    // another GL window (the main window once its news strip has loaded)
    // never reaches the screen: the X server shows a black rectangle while
    // the window itself holds its picture. A window with an alpha channel is
    // composited onto the screen by the X server itself, which shows it.
    // paintEvent keeps every pixel opaque.
    setAttribute(Qt::WA_TranslucentBackground);

    VerPC = new QTabWidget(this);
    VerPC->setObjectName(QStringLiteral("VerPC"));
    PCInfo = new QWidget(VerPC);
    PCInfo->setObjectName(QStringLiteral("PCInfo"));
    VerM1 = memo(PCInfo, "VerM1");
    VerSB1 = VerM1->verticalScrollBar();
    VerPC->addTab(PCInfo, u("软件说明"));
    PCLicense = new QWidget(VerPC);
    PCLicense->setObjectName(QStringLiteral("PCLicense"));
    VerM2 = memo(PCLicense, "VerM2");
    VerSB2 = VerM2->verticalScrollBar();
    VerPC->addTab(PCLicense, u("使用协议"));

    // The page takes the place of the tabs and of the status bar.
    WBPanel = new QFrame(this);
    WBPanel->setObjectName(QStringLiteral("WBPanel"));
    WBPanel->setFrameShape(QFrame::StyledPanel);
    auto* pageLayout = new QVBoxLayout(WBPanel);
    pageLayout->setContentsMargins(1, 1, 1, 1);
    WBPanel->hide();

    spSkinPanel3 = new QFrame(this);
    spSkinPanel3->setObjectName(QStringLiteral("spSkinPanel3"));
    spSkinPanel3->setFrameShape(QFrame::StyledPanel);
    spSkinPanel3->setFixedHeight(30);
    spVerText = new QLabel(spSkinPanel3);
    spVerText->setObjectName(QStringLiteral("spVerText"));
    spVerText->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    spSkinButton1 = new QPushButton(u("确 定"), spSkinPanel3);
    spSkinButton1->setObjectName(QStringLiteral("spSkinButton1"));
    spSkinButton1->setFixedWidth(75);
    auto* panelRow = new QHBoxLayout(spSkinPanel3);
    panelRow->setContentsMargins(4, 1, 2, 1);
    panelRow->addWidget(spVerText, 1);
    panelRow->addWidget(spSkinButton1);

    spSkinStatusBar1 = new QStatusBar(this);
    spSkinStatusBar1->setObjectName(QStringLiteral("spSkinStatusBar1"));
    spSkinStatusBar1->setFixedHeight(22);
    spSkinStatusBar1->setSizeGripEnabled(false);
    power_link = new TLinkLabel(QString(), spSkinStatusBar1);
    power_link->setObjectName(QStringLiteral("power_link"));
    power_link->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    spSkinStatusBar1->addWidget(power_link, 1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(VerPC, 1);
    column->addWidget(WBPanel, 1);
    column->addWidget(spSkinPanel3);
    column->addWidget(spSkinStatusBar1);
}

void TVerFrm::FormCreate() { guard_.Install(); }

void TVerFrm::FormDestroy() { guard_.Remove(); }

void TVerFrm::setVisible(bool visible) {
    // A request to show while the first one still waits for its probe (the
    // other windows stay responsive meanwhile) shows the window as it is.
    if (visible && !isVisible() && !preparing_) {
        preparing_ = true;
        RunGuarded([this] { FormShow(); });
        preparing_ = false;
        CentreOnScreen(*this);
    }
    QDialog::setVisible(visible);
}

void TVerFrm::FormShow() {
    // Every showing starts from the tab view.
    VerPC->setCurrentWidget(PCInfo);
    VerPC->show();
    spSkinStatusBar1->show();
    WBPanel->hide();

    // The window appears only when this probe has ended.
    if (page_->Navigate(BrandingField(sources_.Settings.Branding, BrandingItem::AboutPage)))
        PageRequested = true;

    texts_.Refresh(files_);
    VerM1->setPlainText(memoText(texts_.Info));
    VerM2->setPlainText(memoText(texts_.License));

    spVerText->setText(FromGbk(AboutVersionText(sources_.Session.SiteName, sources_.ClientVersion,
                                                sources_.ClientBuild)));
    power_link->setText(u("Quellix Team 技术支持"));
    power_link->URL = SupportLinkUrl(sources_.VendorHomeUrl, sources_.ClientVersion);
}

void TVerFrm::wb2DocumentComplete() {
    if (!PageRequested)
        return;
    // The page covers everything but the panel with the version text and
    // the OK button.
    WBPanel->show();
    VerPC->hide();
    spSkinStatusBar1->hide();
}

void TVerFrm::spSkinButton1Click() { close(); }

void TVerFrm::paintEvent(QPaintEvent* event) {
    // With a translucent background nothing fills the window: fill it with
    // the skin's window colour, then let the skin draw its background.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    painter.end();
    QDialog::paintEvent(event);
}

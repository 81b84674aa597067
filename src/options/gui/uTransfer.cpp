#include "options/gui/uTransfer.h"

#include "platform/gui/guarded.h"
#include "platform/gui/msgdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const QString kPasswordStandIn = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");

// The proxy kinds in the order of the list.
constexpr ProxyMode kProxyModes[] = {ProxyMode::None, ProxyMode::System, ProxyMode::Http, ProxyMode::Socks5};

QSpinBox* countBox(QWidget* parent, const QString& name, int high) {
    auto* box = new QSpinBox(parent);
    box->setRange(1, high);
    box->setAccessibleName(name);
    box->setObjectName(name);
    return box;
}

QLineEdit* field(QWidget* parent, const QString& name) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setObjectName(name);
    return edit;
}

// A label that names its field for the keyboard (Alt + its letter) and the
// screen reader.
QLabel* labelFor(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}
}  // namespace

TTransferFrm::TTransferFrm(TransferSettings& settings, TMsgDlg& msgDlg, QWidget* parent)
    : QDialog(parent), settings_(settings), msgDlg_(msgDlg) {
    setObjectName(QStringLiteral("TTransferFrm"));
    setWindowTitle(u("传输设置"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* transfers = new QGroupBox(u("传输"), this);
    SE_Uploads = countBox(transfers, u("同时上传文件数"), TransferOptions::kMaxParallel);
    SE_Downloads = countBox(transfers, u("同时下载文件数"), TransferOptions::kMaxParallel);
    SE_Connections = countBox(transfers, u("下载连接数"), TransferOptions::kMaxConnections);
    CB_Resume = new QCheckBox(u("登录后继续未完成的下载"), transfers);
    CB_Resume->setObjectName(QStringLiteral("CB_Resume"));
    auto* transferRows = new QFormLayout(transfers);
    transferRows->addRow(labelFor(u("同时上传文件数(&U)："), SE_Uploads), SE_Uploads);
    transferRows->addRow(labelFor(u("同时下载文件数(&D)："), SE_Downloads), SE_Downloads);
    transferRows->addRow(labelFor(u("下载连接数(&C)："), SE_Connections), SE_Connections);
    transferRows->addRow(CB_Resume);

    auto* proxy = new QGroupBox(u("网络代理"), this);
    CB_Proxy = new QComboBox(proxy);
    CB_Proxy->setObjectName(QStringLiteral("CB_Proxy"));
    CB_Proxy->setAccessibleName(u("网络代理"));
    CB_Proxy->addItems({u("不使用代理"), u("使用系统代理设置"), u("HTTP 代理"), u("SOCKS5 代理")});
    ED_ProxyHost = field(proxy, u("代理服务器"));
    ED_ProxyPort = field(proxy, u("端口"));
    ED_ProxyPort->setValidator(new QIntValidator(1, 65535, ED_ProxyPort));
    ED_ProxyPort->setMaximumWidth(80);
    ED_ProxyUser = field(proxy, u("用户名"));
    ED_ProxyPwd = field(proxy, u("密码"));
    ED_ProxyPwd->setEchoMode(QLineEdit::Password);
    ED_ProxyPwd->setToolTip(u("代理密码保存在系统钥匙环中，不写入任何文件。"));
    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(ED_ProxyHost, 1);
    hostRow->addWidget(labelFor(u("端口(&T)："), ED_ProxyPort));
    hostRow->addWidget(ED_ProxyPort);
    auto* proxyRows = new QFormLayout(proxy);
    proxyRows->addRow(labelFor(u("代理类型(&P)："), CB_Proxy), CB_Proxy);
    proxyRows->addRow(labelFor(u("服务器(&H)："), ED_ProxyHost), hostRow);
    proxyRows->addRow(labelFor(u("用户名(&N)："), ED_ProxyUser), ED_ProxyUser);
    proxyRows->addRow(labelFor(u("密码(&W)："), ED_ProxyPwd), ED_ProxyPwd);

    auto* limits = new QGroupBox(u("限速（KB/s，0 表示不限速）"), this);
    ED_UpLimit = field(limits, u("上传限速"));
    ED_DownLimit = field(limits, u("下载限速"));
    auto* limitRows = new QFormLayout(limits);
    limitRows->addRow(labelFor(u("上传限速(&L)："), ED_UpLimit), ED_UpLimit);
    limitRows->addRow(labelFor(u("下载限速(&M)："), ED_DownLimit), ED_DownLimit);

    CB_Notify = new QCheckBox(u("传输结束时显示桌面通知"), this);
    CB_Notify->setObjectName(QStringLiteral("CB_Notify"));

    btnOk = new QPushButton(u("确定"), this);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(u("取消"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* column = new QVBoxLayout(this);
    column->addWidget(transfers);
    column->addWidget(proxy);
    column->addWidget(limits);
    column->addWidget(CB_Notify);
    column->addLayout(buttons);

    setTabOrder(SE_Uploads, SE_Downloads);
    setTabOrder(SE_Downloads, SE_Connections);
    setTabOrder(SE_Connections, CB_Resume);
    setTabOrder(CB_Resume, CB_Proxy);
    setTabOrder(CB_Proxy, ED_ProxyHost);
    setTabOrder(ED_ProxyHost, ED_ProxyPort);
    setTabOrder(ED_ProxyPort, ED_ProxyUser);
    setTabOrder(ED_ProxyUser, ED_ProxyPwd);
    setTabOrder(ED_ProxyPwd, ED_UpLimit);
    setTabOrder(ED_UpLimit, ED_DownLimit);
    setTabOrder(ED_DownLimit, CB_Notify);
    setTabOrder(CB_Notify, btnOk);
    setTabOrder(btnOk, btnCancel);

    ConnectGuarded(CB_Proxy, &QComboBox::currentIndexChanged, this, [this] { proxyModeChanged(); });
    ConnectGuarded(ED_ProxyPwd, &QLineEdit::textEdited, this, [this] { passwordEdited_ = true; });
    ConnectGuarded(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    ConnectGuarded(btnCancel, &QPushButton::clicked, this, [this] { reject(); });
}

void TTransferFrm::ShowOptions(const TransferOptions& options) {
    shown_ = options;
    const TransferSettingsFields f = TransferSettings::FieldsOf(options);
    SE_Uploads->setValue(f.parallelUploads);
    SE_Downloads->setValue(f.parallelDownloads);
    SE_Connections->setValue(f.downloadConnections);
    CB_Resume->setChecked(f.resumeDownloadsAtLogin);
    for (int i = 0; i < int(std::size(kProxyModes)); ++i)
        if (kProxyModes[i] == f.proxyMode)
            CB_Proxy->setCurrentIndex(i);
    ED_ProxyHost->setText(f.proxyHost);
    ED_ProxyPort->setText(f.proxyPort);
    ED_ProxyUser->setText(f.proxyUser);
    passwordEdited_ = false;
    ED_ProxyPwd->setText(settings_.ProxyPassword(options.proxy).isEmpty() ? QString() : kPasswordStandIn);
    ED_UpLimit->setText(f.uploadLimit);
    ED_DownLimit->setText(f.downloadLimit);
    CB_Notify->setChecked(f.notifications);
    proxyModeChanged();
    SE_Uploads->setFocus();
}

TransferSettingsFields TTransferFrm::Fields() const {
    TransferSettingsFields f;
    f.parallelUploads = SE_Uploads->value();
    f.parallelDownloads = SE_Downloads->value();
    f.downloadConnections = SE_Connections->value();
    f.resumeDownloadsAtLogin = CB_Resume->isChecked();
    f.proxyMode = kProxyModes[std::max(0, CB_Proxy->currentIndex())];
    f.proxyHost = ED_ProxyHost->text();
    f.proxyPort = ED_ProxyPort->text();
    f.proxyUser = ED_ProxyUser->text();
    f.proxyPasswordEdited = passwordEdited_;
    f.proxyPassword = passwordEdited_ ? ED_ProxyPwd->text() : QString();
    f.uploadLimit = ED_UpLimit->text();
    f.downloadLimit = ED_DownLimit->text();
    f.notifications = CB_Notify->isChecked();
    return f;
}

void TTransferFrm::proxyModeChanged() {
    const ProxyMode mode = kProxyModes[std::max(0, CB_Proxy->currentIndex())];
    const bool server = mode == ProxyMode::Http || mode == ProxyMode::Socks5;
    for (QWidget* w : {static_cast<QWidget*>(ED_ProxyHost), static_cast<QWidget*>(ED_ProxyPort),
                       static_cast<QWidget*>(ED_ProxyUser), static_cast<QWidget*>(ED_ProxyPwd)})
        w->setEnabled(server);
}

QWidget* TTransferFrm::fieldNamed(const QString& label) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->accessibleName() == label)
            return w;
    return nullptr;
}

bool TTransferFrm::btnOkClick() {
    const TransferSettingsFields fields = Fields();
    const TransferSettings::Checked checked = TransferSettings::Check(fields, shown_);
    if (!checked.options) {
        msgDlg_.MessageDlg(checked.error, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
        if (QWidget* w = fieldNamed(checked.field))
            w->setFocus();
        return false;
    }
    QByteArray proxyPassword;
    const QString trouble = settings_.Save(shown_, *checked.options, fields, proxyPassword);
    if (!trouble.isEmpty())
        msgDlg_.MessageDlg(trouble, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK, this);
    shown_ = *checked.options;
    if (OnApply)
        OnApply(*checked.options, proxyPassword);
    accept();
    return true;
}

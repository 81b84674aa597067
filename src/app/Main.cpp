#include "app/Main.h"

#include "app/transfertray.h"
#include "config/transferoptions.h"
#include "notify/transfernotifier.h"
#include "options/gui/uTransfer.h"
#include "options/transfersettings.h"
#include "platform/desktopnotice.h"
#include "platform/secretstore.h"
#include "about/uVersion.h"
#include "about/webproxy.h"
#include "disk/gui/folderlisting.h"
#include "disk/gui/uLink.h"
#include "download/gui/uDown.h"
#include "login/siterequest.h"
#include "login/gui/uLogin.h"
#include "net/nestedwait.h"
#include "net/siteclient.h"
#include "net/transferpath.h"
#include "platform/gui/guarded.h"
#include "platform/gui/icons.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/placement.h"
#include "platform/gui/shell.h"
#include "skinmgr/uSkin.h"
#include "text/base64.h"
#include "text/gbk.h"
#include "text/md5.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The vendor's home page when the site configuration names none: base of the
// skin catalogue and of the support link.
const QByteArray kBuiltInVendorHomeUrl = "https://www.quellix.net/";
}  // namespace

TMainFrm::TMainFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, TLoginFrm& loginFrm,
                   QWidget* parent)
    : QMainWindow(parent),
      files_(files),
      connector_(std::make_unique<NetConnector>(ConnectorSettingsFrom(ReadTransferOptions(files), QByteArray()))),
      msgDlg_(msgDlg),
      skinData_(skinData),
      loginFrm_(loginFrm) {
    build(this);
    browser_ = std::make_unique<FolderBrowser>(*lv1, *loading, loginFrm_.Session());
    news_ = std::make_unique<NewsPanel>(*WBPanel, probe_);
    for (THttpCli* http : {&HttpLoadSet, &HttpAds})
        ApplySiteClientSettings(*http);
    settingsRequest_.OnDone = [this](const ServerSettingsRequest::Result& result) { settingsTaken(result); };
    createUploadPipeline();
    createDownloadQueue();
    useConnector();
    // The network part of the options: the proxy and the limits of every
    // connection, the web views' included.
    ApplyNetworkOptions = [this](const TransferOptions& options, const QByteArray& proxyPassword) {
        ::ApplyTransferOptions(*connector_, options, proxyPassword);
        UseConnectorForWebViews(*connector_);
    };
    connectHandlers();
    connectUploadHandlers();
    RunGuarded([this] { FormCreate(); });
}

TMainFrm::~TMainFrm() {
    // Unfinished downloads wait, with their states, for the next login.
    if (downloads_)
        downloads_->PauseAll();
    RunGuarded([this] { FormDestroy(); });
}

void TMainFrm::AttachDesktop(TransferOptions& options, SecretStore* secrets, NoticeSink& notices) {
    options_ = &options;
    transferSettings_ = std::make_unique<TransferSettings>(files_, secrets);
    transferFrm_ = std::make_unique<TTransferFrm>(*transferSettings_, msgDlg_, this);
    transferFrm_->OnApply = [this](const TransferOptions& chosen, const QByteArray& proxyPassword) {
        ApplyTransferOptions(chosen, proxyPassword);
    };
    notifier_ = std::make_unique<TransferNotifier>(notices, [this] { return UserSeesWindow(); });
    notifier_->Enabled = options.notifications;
    uploadRun_->OnRunOver = [this](int files, int failed) { notifier_->UploadRunEnded(files, failed); };
    if (downloadPage_)
        downloadPage_->OnFileEnded = [this](const QString& name, bool complete) {
            notifier_->DownloadEnded(name, complete);
        };
    tray_ = std::make_unique<TransferTray>(*this, [this] { return TrayStatus(); }, [this] { FormClose(); });
    // The options read at start take effect as an OK of the dialog would.
    ApplyTransferOptions(options, transferSettings_->ProxyPassword(options.proxy));
}

bool TMainFrm::UserSeesWindow() const {
    if (!isVisible() || isMinimized())
        return false;
    for (const QWidget* w = QApplication::activeWindow(); w; w = w->parentWidget())
        if (w == this)
            return true;
    return false;
}

QString TMainFrm::TrayStatus() const {
    const bool uploading = !btnUpload->isEnabled();
    const bool downloading = downloads_ && !downloads_->AtRest();
    const QString site = FromGbk(loginFrm_.Session().SiteName);
    return TrayToolTip(site, spStatus1->text(), uploading || downloading ? pb1->value() : -1);
}

void TMainFrm::NTransferClick() {
    if (!transferFrm_)
        return;
    transferFrm_->ShowOptions(*options_);
    transferFrm_->exec();
}

void TMainFrm::ApplyTransferOptions(const TransferOptions& options, const QByteArray& proxyPassword) {
    *options_ = options;
    if (notifier_)
        notifier_->Enabled = options.notifications;
    if (ApplyNetworkOptions)
        ApplyNetworkOptions(options, proxyPassword);
    if (downloads_)
        downloads_->SetOptions(options.parallelDownloads, options.downloadConnections);
    if (ApplyUploadOptions)
        ApplyUploadOptions(options);
}

void TMainFrm::AttachWindows(TLinkFrm* linkFrm, TDownFrm* downFrm, TSkinFrm* skinFrm, TVerFrm* verFrm) {
    linkFrm_ = linkFrm;
    downFrm_ = downFrm;
    skinFrm_ = skinFrm;
    verFrm_ = verFrm;
    useConnector();
}

void TMainFrm::useConnector() {
    NetConnector* connector = connector_.get();
    for (THttpCli* http : {&HttpLoadSet, &HttpAds, &loginFrm_.HttpCli1, &loginFrm_.HttpAds, &browser_->HttpMydisk,
                           &registration_->HttpPostFL})
        http->Connector = connector;
    uploadRun_->ftp1.Connector = connector;
    if (downloads_)
        downloads_->Connector = connector;
    if (skinFrm_) {
        skinFrm_->HttpDownFile.Connector = connector;
        skinFrm_->HttpImg.Connector = connector;
    }
    if (verFrm_)
        verFrm_->HttpCli1.Connector = connector;
    UseConnectorForWebViews(*connector);
}

void TMainFrm::connectHandlers() {
    ConnectGuarded(N10, &QAction::triggered, this, [this] { N10Click(); });
    ConnectGuarded(N11, &QAction::triggered, this, [this] { N11Click(); });
    ConnectGuarded(N13, &QAction::triggered, this, [this] { N13Click(); });
    ConnectGuarded(NTransfer, &QAction::triggered, this, [this] { NTransferClick(); });
    ConnectGuarded(N16, &QAction::triggered, this, [this] { N16Click(); });
    ConnectGuarded(N18, &QAction::triggered, this, [this] { N18Click(); });
    ConnectGuarded(N1, &QAction::triggered, this, [this] { N1Click(); });
    ConnectGuarded(UBB1, &QAction::triggered, this, [this] { UBB1Click(); });
    ConnectGuarded(N15, &QAction::triggered, this, [this] { N15Click(); });
    ConnectGuarded(NDown, &QAction::triggered, this, [this] { NDownClick(); });
    ConnectGuarded(N25, &QAction::triggered, this, [this] { browser_->N25Click(); });
    ConnectGuarded(N9, &QAction::triggered, this, [this] { N9Click(); });
    ConnectGuarded(N8, &QAction::triggered, this, [this] { N8Click(); });
    ConnectGuarded(spSkinSpeedButton1, &QToolButton::clicked, this, [this] { browser_->spSkinSpeedButton1Click(); });
    ConnectGuarded(spSkinSpeedButton2, &QToolButton::clicked, this, [this] { browser_->spSkinSpeedButton2Click(); });
    ConnectGuarded(lv1, &TListView::Click, this, [this] { browser_->lv1Click(); });
    ConnectGuarded(lv1, &TListView::DblClick, this, [this] { lv1DblClick(); });
    ConnectGuarded(lv1, &TListView::Activated, this, [this] { lv1Activated(); });
}

void TMainFrm::createDownloadQueue() {
    downloadPage_ = std::make_unique<DownloadQueuePage>(
        DownloadQueueWidgets{*lv3, *PageControl1, *PCDown, *spStatus1, *pb1, msgDlg_, this}, files_.okSound(),
        files_.errorSound());
    downloads_ = std::make_unique<DownloadScheduler>(loginFrm_.Session(), *downloadPage_, files_.downloadQueueFile());
    downloadModel_ = std::make_unique<DownloadQueueModel>(downloads_->Queue, *lv3);
    downloadPage_->Attach(*downloads_, *downloadModel_);
    // The options of quellix.ini until the program hands over its own copy.
    ownOptions_ = ReadTransferOptions(files_);
    downloads_->SetOptions(ownOptions_.parallelDownloads, ownOptions_.downloadConnections);

    DownloadQueuePage& page = *downloadPage_;
    ConnectGuarded(NDPause, &QAction::triggered, this, [&page] { page.PauseClick(); });
    ConnectGuarded(NDContinue, &QAction::triggered, this, [&page] { page.ContinueClick(); });
    ConnectGuarded(NDRemove, &QAction::triggered, this, [&page] { page.RemoveClick(); });
    ConnectGuarded(lv3, &TListView::DeletePressed, this, [&page] { page.RemoveClick(); });
    ConnectGuarded(NDOpen, &QAction::triggered, this, [&page] { page.OpenFolderClick(); });
    ConnectGuarded(NDClear, &QAction::triggered, this, [&page] { page.ClearFinishedClick(); });
}

void TMainFrm::createUploadPipeline() {
    uploadWindow_ = std::make_unique<UploadWindow>(UploadWindow{
        .lv2 = *lv2,
        .btnUpload = *btnUpload,
        .btnAbort = *btnAbort,
        .btnCancel = *btnCancel,
        .PageControl1 = *PageControl1,
        .PCTask = *PCTask,
        .spStatus1 = *spStatus1,
        .pb1 = *pb1,
        .MsgDlg = msgDlg_,
        .DialogParent = this,
        .Files = files_,
        .Session = loginFrm_.Session(),
        .SiteSettings = SiteSettings,
        .CurrentFolderId = browser_->CurrentFolderId,
        .PostListAccepted = PostListAccepted,
        .UploadFinished = UploadFinished,
        .OnStatusText = nullptr,
    });
    uploadQueue_ = std::make_unique<UploadQueue>();
    queueModel_ = std::make_unique<UploadQueueModel>(*uploadQueue_, *lv2);
    queueCommands_ = std::make_unique<UploadQueueCommands>(*uploadWindow_, *uploadQueue_, *queueModel_);
    uploadPresenter_ = std::make_unique<UploadWindowPresenter>(*uploadWindow_, *queueModel_, *queueCommands_);
    registration_ = std::make_unique<UploadRegistration>(uploadWindow_->Site(), *uploadQueue_, *uploadPresenter_);
    uploadRun_ = std::make_unique<UploadRun>(uploadWindow_->Site(), *uploadQueue_, *registration_, *uploadPresenter_);
    // "同时上传文件数": the run takes it at the start of each run.
    ApplyUploadOptions = [this](const TransferOptions& options) { uploadRun_->ParallelUploads = options.parallelUploads; };
}

void TMainFrm::connectUploadHandlers() {
    UploadQueueCommands& queue = *queueCommands_;
    ConnectGuarded(BtnSelFile2, &QToolButton::clicked, this, [&queue] { queue.AddLocalFiles(); });
    for (QAction* item : {N4, N20})
        ConnectGuarded(item, &QAction::triggered, this, [&queue] { queue.AddLocalFiles(); });
    ConnectGuarded(BtnSelFolder, &QToolButton::clicked, this, [&queue] { queue.AddLocalFolder(); });
    for (QAction* item : {N2, N21})
        ConnectGuarded(item, &QAction::triggered, this, [&queue] { queue.AddLocalFolder(); });
    ConnectGuarded(lv2, &TListView::FilesDropped, this,
                   [&queue](const QStringList& paths) { queue.lv2FilesDropped(paths); });
    ConnectGuarded(lv2, &TListView::SelectionChanged, this, [&queue] { queue.lv2SelectItem(); });
    ConnectGuarded(N5, &QAction::triggered, this, [&queue] { queue.N5Click(); });
    // Delete removes the selected rows, as "删除选中" does.
    ConnectGuarded(lv2, &TListView::DeletePressed, this, [&queue] { queue.N5Click(); });
    ConnectGuarded(N6, &QAction::triggered, this, [&queue] { queue.N6Click(); });

    UploadRegistration& registration = *registration_;
    ConnectGuarded(N23, &QAction::triggered, this, [&registration] { registration.N23Click(); });
    ConnectGuarded(N24, &QAction::triggered, this, [&registration] { registration.N24Click(); });

    UploadRun& run = *uploadRun_;
    ConnectGuarded(btnUpload, &QPushButton::clicked, this, [&run] { run.btnUploadClick(); });
    ConnectGuarded(btnAbort, &QPushButton::clicked, this, [&run] { run.btnAbortClick(); });
    ConnectGuarded(btnCancel, &QPushButton::clicked, this, [&run] { run.btnCancelClick(); });
}

void TMainFrm::FormCreate() {
    ClientVersion = "2.2";
    ClientBuild = "20130122";
    SmallIconList = GetSystemImageListHandle(1);
    LargeIconList = GetSystemImageListHandle(0);
    lv1->SetImageLists(SmallIconList, LargeIconList);
    browserGuard_.Install();
}

void TMainFrm::FormDestroy() { browserGuard_.Remove(); }

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
    if (notifier_)
        notifier_->SiteName = FromGbk(session.SiteName);

    browser_->CurrentFolderId = 0;
    PostListAccepted = false;
    UploadFinished = false;

    loading->hide();
    if (linkFrm_)
        linkFrm_->hide();
    if (downFrm_)
        downFrm_->hide();
    news_->FormShow();  // nothing requested, WBPanel hidden
    PageControl1->setCurrentWidget(PCDisk);
    // The unfinished downloads of this account and site come back (paused,
    // unless the user's options start them at once).
    downloads_->TakeSession(options_->resumeDownloadsAtLogin);

    // Both replies arrive as events, in either order.
    RequestServerSettings();
    browser_->RequestFolderListing(0, 0);
}

void TMainFrm::RequestServerSettings() { settingsRequest_.RequestServerSettings(loginFrm_.Session()); }

void TMainFrm::HttpLoadSetRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode) {
    settingsRequest_.HttpLoadSetRequestDone(sender, rqType, errCode);
}

void TMainFrm::settingsTaken(const ServerSettingsRequest::Result& result) {
    if (!result.answered || !result.failure.isEmpty())
        return;
    if (!result.message.isEmpty())
        msgDlg_.MessageDlg(result.message, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK, this);
    // The branding record as it now stands (an earlier one when this reply
    // was refused) names the caption and the news page.
    const QByteArray caption = BrandingField(SiteSettings.Branding, BrandingItem::Caption);
    if (!caption.isEmpty())
        setWindowTitle(FromGbk(caption));
    ShowNewsPage(BrandingField(SiteSettings.Branding, BrandingItem::NewsPage));
}

void TMainFrm::ShowNewsPage(const QByteArray& address) { news_->ShowNewsPage(address); }

void TMainFrm::BuildLinkText(LinkKind kind) {
    QList<LinkedFile> files;
    for (int row = 0; row < lv1->Count(); ++row)
        if (lv1->Selected(row) && IsFileRow(*lv1, row))
            files.append({ToGbk(lv1->Caption(row)), ToGbk(lv1->SubItem(row, ListingColumn::Id))});
    const QByteArray text = ::BuildLinkText(kind, loginFrm_.Session().SiteUrl, files);
    if (text.isEmpty() || !linkFrm_)
        return;
    linkFrm_->SetLinkText(FromGbk(text));
    linkFrm_->exec();
}

void TMainFrm::lv1DblClick() {
    if (!browser_->lv1DblClickOpensFolder())
        NDownClick();
}

void TMainFrm::NDownClick() { StartFileDownload(); }

void TMainFrm::lv1Activated() {
    // Enter takes the keyboard's selection as a click would; one row then
    // acts as a double click (opens the folder or offers the file), several
    // rows are offered for download.
    browser_->lv1Click();
    if (lv1->SelectedRows().size() > 1)
        NDownClick();
    else
        lv1DblClick();
}

void TMainFrm::StartFileDownload() {
    // The placeholder row is passed over.
    QList<OfferedFile> files;
    QList<RemoteFolder> folders;
    for (int row = 0; row < lv1->Count(); ++row) {
        if (!lv1->Selected(row))
            continue;
        const QString id = lv1->SubItem(row, ListingColumn::Id);
        if (IsFileRow(*lv1, row))
            files.append({id, lv1->Caption(row), lv1->SubItem(row, ListingColumn::Size)});
        else if (IsFolderRow(*lv1, row))
            folders.append({ToGbk(id), lv1->Caption(row)});
    }
    if ((files.isEmpty() && folders.isEmpty()) || !downFrm_)
        return;
    const QString site = FromGbk(loginFrm_.Session().SiteUrl);
    if (files.size() == 1 && folders.isEmpty()) {
        const int chosen = lv1->SelectedRows().value(0);
        const QString address = site + QStringLiteral("file-") + files[0].Id + QStringLiteral(".html");
        downFrm_->SetFile(address, files[0].Name, files[0].SizeText, lv1->SubItem(chosen, ListingColumn::Type),
                          files[0].Id);
    } else {
        const QString address =
            files.isEmpty() ? site : site + QStringLiteral("file-") + files[0].Id + QStringLiteral(".html");
        downFrm_->SetSelection(address, files, folders);
    }
    downFrm_->exec();
}

void TMainFrm::N9Click() {
    lv1->SetViewStyle(TListView::TViewStyle::vsIcon);
    N9->setChecked(true);
}

void TMainFrm::N8Click() {
    lv1->SetViewStyle(TListView::TViewStyle::vsReport);
    N8->setChecked(true);
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    if (!centred_) {
        centred_ = true;
        CentreOnScreen(*this);
    }
    RunGuarded([this] { FormShow(); });
}

void TMainFrm::FormClose() {
    // Transfers in progress are abandoned without a question; unfinished
    // downloads keep their part files and states for the next login.
    downloads_->PauseAll();
    SetApplicationTerminating(true);
    QApplication::quit();
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    RunGuarded([this] { FormClose(); });
}

void TMainFrm::N10Click() {
    // The downloads go on only for the account that queued them.
    downloads_->PauseAll();
    loginFrm_.SwitchAccount(*this);
}

void TMainFrm::N11Click() { FormClose(); }

void TMainFrm::N13Click() {
    if (skinFrm_)
        skinFrm_->exec();
}

void TMainFrm::N16Click() {
    // A second click while the about window waits for its page probe (this
    // window stays responsive meanwhile) does nothing.
    if (verFrm_ && !verFrm_->isVisible() && !verFrm_->Preparing())
        verFrm_->exec();
}

void TMainFrm::N18Click() { ShellOpenAddress(loginFrm_.Session().SiteUrl); }

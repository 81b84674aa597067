#pragma once
// The main window: the remote disk, the upload queue and the status bar, and
// the state the other windows read. Each showing (after a login) resets the
// browsing and upload flags and asks the site for its settings and the root
// folder.

#include "about/browserguard.h"
#include "about/newspanel.h"
#include "app/mainlayout.h"
#include "config/localfiles.h"
#include "config/transferoptions.h"
#include "disk/filelinks.h"
#include "disk/gui/folderbrowser.h"
#include "download/downloadscheduler.h"
#include "download/gui/downloadpage.h"
#include "download/gui/downloadqueuemodel.h"
#include "login/serversettings.h"
#include "login/settingsrequest.h"
#include "config/transferoptions.h"
#include "login/siteprobe.h"
#include "net/httpcli.h"
#include "net/netconnector.h"
#include "upload/gui/queuecommands.h"
#include "upload/gui/uploadqueuemodel.h"
#include "upload/gui/uploadwindow.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadrun.h"

#include <memory>

#include <QByteArray>
#include <QMainWindow>

class TDownFrm;
class TLinkFrm;
class TLoginFrm;
class TMsgDlg;
class TSkinData;
class TSkinFrm;
class TVerFrm;
class SystemImageList;
class NoticeSink;
class SecretStore;
class TTransferFrm;
class TransferNotifier;
class TransferSettings;
class TransferTray;

class TMainFrm : public QMainWindow, public TMainLayout {
    Q_OBJECT
public:
    TMainFrm(const LocalFiles& files, TMsgDlg& msgDlg, TSkinData& skinData, TLoginFrm& loginFrm,
             QWidget* parent = nullptr);
    ~TMainFrm() override;

    // The windows created after this one, which it shows.
    void AttachWindows(TLinkFrm* linkFrm, TDownFrm* downFrm, TSkinFrm* skinFrm, TVerFrm* verFrm);

    // The transfer options (quellix.ini), the keyring and the desktop's
    // notifications; given once, before the first login.
    void AttachDesktop(TransferOptions& options, SecretStore* secrets, NoticeSink& notices);

    // The options in force. "传输设置" (NTransferClick) edits them; OK
    // hands them to ApplyTransferOptions, which keeps them and passes them
    // on through the hooks below.
    const TransferOptions& Options() const { return *options_; }
    void NTransferClick();
    void ApplyTransferOptions(const TransferOptions& options, const QByteArray& proxyPassword);
    // Where the options take effect. Each is called with the options read
    // at start (by AttachDesktop: set the hooks before it) and after every
    // OK of "传输设置":
    //   the network path: the proxy (with its password from the keyring)
    //     and the rate limits, for every connection;
    //   the downloads: files at once, connections per file, resuming;
    //   the uploads: files at once.
    std::function<void(const TransferOptions& options, const QByteArray& proxyPassword)> ApplyNetworkOptions;
    std::function<void(const TransferOptions& options)> ApplyUploadOptions;

    // The notifications at the ends of transfers, the tray icon and the
    // "传输设置" dialog (null until AttachDesktop).
    TransferNotifier* Notifier() { return notifier_.get(); }
    TransferTray* Tray() { return tray_.get(); }
    TTransferFrm* TransferFrm() { return transferFrm_.get(); }
    // Whether the user is looking at this window (or one of its dialogs).
    bool UserSeesWindow() const;
    // The tray's tooltip as the transfers stand.
    QString TrayStatus() const;

    // How every connection of the program is made: the proxy and the rate
    // limits of quellix.ini, read at start (without the proxy's password),
    // then from every ApplyTransferOptions through ApplyNetworkOptions,
    // which this window sets so, with the password from the keyring.
    NetConnector& Connector() { return *connector_; }

    // State read by the other windows.
    QByteArray ClientVersion;
    QByteArray ClientBuild;
    QByteArray VendorHomeUrl;
    TSiteSettings SiteSettings;

    TMsgDlg& MsgDlg() { return msgDlg_; }
    TSkinData& spSkinData1() { return skinData_; }

    // Menu handlers.
    void N10Click();  // "切换帐号"
    void N11Click();  // "安全退出"
    void N13Click();  // "更换皮肤"
    void N16Click();  // "关于软件"
    void N18Click();  // "打开主站"

    // Server settings.
    void RequestServerSettings();
    void HttpLoadSetRequestDone(THttpCli& sender, THttpRequest rqType, quint16 errCode);
    // The news page step of the settings reply.
    void ShowNewsPage(const QByteArray& address);
    // The news strip (WBPanel, wb1) and the embedded-browser guard.
    NewsPanel& News() { return *news_; }
    const EmbeddedBrowserGuard& BrowserGuard() const { return browserGuard_; }

    // Links of the selected files ("url", "ubb", "post") in the link window.
    void BuildLinkText(LinkKind kind);
    void N1Click() { BuildLinkText(LinkKind::Url); }
    void UBB1Click() { BuildLinkText(LinkKind::Ubb); }
    void N15Click() { BuildLinkText(LinkKind::Post); }

    // The remote disk browser (lv1, the root and back buttons, refresh).
    FolderBrowser& Browser() { return *browser_; }
    void lv1DblClick();
    // "下载文件": the download window for the selected rows.
    void NDownClick();
    // Fills the download window with the selected rows of lv1 and shows it
    // modally: one selected file alone is offered by its name, several rows
    // (files and folders) by their count. No window when no file or folder
    // row is selected.
    void StartFileDownload();
    // Enter in lv1: a single row opens as a double click does; several
    // selected rows are offered for download.
    void lv1Activated();
    void N9Click();  // icon view
    void N8Click();  // details view

    THttpCli HttpLoadSet{"HttpLoadSet"};
    THttpCli HttpAds{"HttpAds"};
    SiteProbe& Probe() { return probe_; }

    bool PostListAccepted = false;
    bool UploadFinished = false;

    // The upload pipeline: the queue lv2 and its commands, the registration
    // with the site (HttpPostFL) and the FTP run (ftp1).
    UploadQueue& Queue() { return *uploadQueue_; }
    UploadQueueCommands& QueueCommands() { return *queueCommands_; }
    UploadRegistration& Registration() { return *registration_; }
    UploadRun& Upload() { return *uploadRun_; }
    UploadWindow& UploadUi() { return *uploadWindow_; }
    UploadQueueModel& QueueModel() { return *queueModel_; }
    UploadWindowPresenter& UploadPresenterOfWindow() { return *uploadPresenter_; }

    // The download queue (the "下载队列" page, lv3) that the download window
    // fills.
    DownloadScheduler& Downloads() { return *downloads_; }
    DownloadQueueModel& DownloadModel() { return *downloadModel_; }
    DownloadQueuePage& DownloadPage() { return *downloadPage_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void connectHandlers();
    void createUploadPipeline();
    void connectUploadHandlers();
    // Gives the connector to every network component of the windows.
    void useConnector();
    void createDownloadQueue();
    // What the settings reply asks this window to show.
    void settingsTaken(const ServerSettingsRequest::Result& result);

    const LocalFiles& files_;
    std::unique_ptr<NetConnector> connector_;
    TMsgDlg& msgDlg_;
    TSkinData& skinData_;
    TLoginFrm& loginFrm_;
    TLinkFrm* linkFrm_ = nullptr;
    TDownFrm* downFrm_ = nullptr;
    TSkinFrm* skinFrm_ = nullptr;
    TVerFrm* verFrm_ = nullptr;

    const SystemImageList* SmallIconList = nullptr;
    const SystemImageList* LargeIconList = nullptr;
    bool centred_ = false;
    std::unique_ptr<FolderBrowser> browser_;
    SiteProbe probe_{HttpAds};
    ServerSettingsRequest settingsRequest_{HttpLoadSet, SiteSettings};

    std::unique_ptr<UploadWindow> uploadWindow_;
    std::unique_ptr<UploadQueue> uploadQueue_;
    std::unique_ptr<UploadQueueModel> queueModel_;
    std::unique_ptr<UploadQueueCommands> queueCommands_;
    std::unique_ptr<UploadWindowPresenter> uploadPresenter_;
    std::unique_ptr<UploadRegistration> registration_;
    std::unique_ptr<UploadRun> uploadRun_;

    TransferOptions ownOptions_;
    TransferOptions* options_ = &ownOptions_;
    std::unique_ptr<TransferSettings> transferSettings_;
    std::unique_ptr<TTransferFrm> transferFrm_;
    std::unique_ptr<TransferNotifier> notifier_;
    std::unique_ptr<TransferTray> tray_;
    std::unique_ptr<DownloadQueuePage> downloadPage_;
    std::unique_ptr<DownloadScheduler> downloads_;
    std::unique_ptr<DownloadQueueModel> downloadModel_;

    std::unique_ptr<NewsPanel> news_;
    EmbeddedBrowserGuard browserGuard_;
};

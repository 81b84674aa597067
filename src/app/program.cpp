#include "app/program.h"

#include "about/uVersion.h"
#include "app/Main.h"
#include "disk/gui/uLink.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
#include "login/savedlogin.h"
#include "platform/desktop/desktopnotifications.h"
#include "platform/desktop/keyring.h"
#include "net/nestedwait.h"
#include "skinmgr/uSkin.h"

ErrorReportSink StandardErrorReport(TMsgDlg& msgDlg) {
    return [&msgDlg](const QByteArray&, const QByteArray& message) {
        if (!ApplicationTerminating())
            msgDlg.MessageDlg(message, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    };
}

QuellixProgram::QuellixProgram(const QString& programFolder,
                               std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor,
                               bool reportErrors, SiteAsker askSite, DesktopServices desktop)
    : QuellixProgram(LocalFiles(programFolder), std::move(messageInterceptor), reportErrors, std::move(askSite),
                     desktop) {}

QuellixProgram::QuellixProgram(const LocalFiles& files,
                               std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor,
                               bool reportErrors, SiteAsker askSite, DesktopServices desktop)
    : Files(files), reportErrors_(reportErrors) {
    MsgDlg.Interceptor = std::move(messageInterceptor);
    // Errors of the windows' creation (a broken quellix.cfg) already go to
    // the report.
    if (reportErrors_)
        SetErrorReportSink(StandardErrorReport(MsgDlg));
    SkinData.LoadBuiltIn();
    Options = ReadTransferOptions(Files);
    if (!desktop.secrets)
        ownSecrets_ = std::make_unique<Keyring>();
    Secrets = desktop.secrets ? desktop.secrets : ownSecrets_.get();
    if (!desktop.notices)
        ownNotices_ = std::make_unique<DesktopNotifications>();
    Notices = desktop.notices ? desktop.notices : ownNotices_.get();
    Saved = std::make_unique<SavedLogin>(*Secrets, Options, [this](const TransferOptions& options) {
        return WriteTransferOptions(Files, options);
    });
    LoginFrm = std::make_unique<TLoginFrm>(Files, MsgDlg, SkinData, nullptr, std::move(askSite), Saved.get());
    MainFrm = std::make_unique<TMainFrm>(Files, MsgDlg, SkinData, *LoginFrm);
    LinkFrm = new TLinkFrm(MsgDlg, MainFrm.get());
    DownFrm = new TDownFrm(Files, MsgDlg, LoginFrm->Session(), MainFrm->Downloads(), MainFrm.get());
    SkinFrm = new TSkinFrm(Files, MsgDlg, SkinData, LoginFrm->Session(), MainFrm->SiteSettings, MainFrm->VendorHomeUrl,
                           MainFrm.get());
    VerFrm = new TVerFrm(Files,
                         AboutSources{LoginFrm->Session(), MainFrm->SiteSettings, MainFrm->ClientVersion,
                                      MainFrm->ClientBuild, MainFrm->VendorHomeUrl},
                         MainFrm.get());
    // One copy of the options for the whole program: what one window changes
    // the settings dialog shows, and a later save keeps.
    DownFrm->SaveConnections = [this](int connections) {
        Options.downloadConnections = connections;
        WriteTransferOptions(Files, Options);
    };
    MainFrm->AttachWindows(LinkFrm, DownFrm, SkinFrm, VerFrm);
    MainFrm->AttachDesktop(Options, Secrets, *Notices);
    LoginFrm->ShowMainWindow = [this] {
        LoginFrm->hide();
        MainFrm->show();
    };
}

QuellixProgram::~QuellixProgram() {
    // The main window goes first: its dialogs read the login window's state.
    MainFrm.reset();
    LoginFrm.reset();
    if (reportErrors_)
        SetErrorReportSink(nullptr);
}

void QuellixProgram::Start() { LoginFrm->show(); }

#include "app/program.h"

#include "about/uVersion.h"
#include "app/Main.h"
#include "disk/gui/uLink.h"
#include "download/gui/uDown.h"
#include "login/gui/uLogin.h"
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
                               bool reportErrors, SiteAsker askSite)
    : QuellixProgram(LocalFiles(programFolder), std::move(messageInterceptor), reportErrors, std::move(askSite)) {}

QuellixProgram::QuellixProgram(const LocalFiles& files,
                               std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor,
                               bool reportErrors, SiteAsker askSite)
    : Files(files), reportErrors_(reportErrors) {
    MsgDlg.Interceptor = std::move(messageInterceptor);
    // Errors of the windows' creation (a broken quellix.cfg) already go to
    // the report.
    if (reportErrors_)
        SetErrorReportSink(StandardErrorReport(MsgDlg));
    SkinData.LoadBuiltIn();
    LoginFrm = std::make_unique<TLoginFrm>(Files, MsgDlg, SkinData, nullptr, std::move(askSite));
    MainFrm = std::make_unique<TMainFrm>(Files, MsgDlg, SkinData, *LoginFrm);
    LinkFrm = new TLinkFrm(MsgDlg, MainFrm.get());
    DownFrm = new TDownFrm(Files, MsgDlg, LoginFrm->Session(), MainFrm->Downloads(), MainFrm.get());
    SkinFrm = new TSkinFrm(Files, MsgDlg, SkinData, LoginFrm->Session(), MainFrm->SiteSettings, MainFrm->VendorHomeUrl,
                           MainFrm.get());
    VerFrm = new TVerFrm(Files,
                         AboutSources{LoginFrm->Session(), MainFrm->SiteSettings, MainFrm->ClientVersion,
                                      MainFrm->ClientBuild, MainFrm->VendorHomeUrl},
                         MainFrm.get());
    MainFrm->AttachWindows(LinkFrm, DownFrm, SkinFrm, VerFrm);
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

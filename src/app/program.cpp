#include "app/program.h"

#include "about/uVersion.h"
#include "app/Main.h"
#include "disk/uLink.h"
#include "download/uDown.h"
#include "login/uLogin.h"
#include "skinmgr/uSkin.h"

QuellixProgram::QuellixProgram(const QString& programFolder,
                               std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor)
    : Files(programFolder) {
    MsgDlg.Interceptor = std::move(messageInterceptor);
    SkinData.LoadBuiltIn();
    LoginFrm = std::make_unique<TLoginFrm>(Files, MsgDlg, SkinData);
    MainFrm = std::make_unique<TMainFrm>(Files, MsgDlg, SkinData, *LoginFrm);
    LinkFrm = new TLinkFrm(MsgDlg, MainFrm.get());
    DownFrm = new TDownFrm(Files, MsgDlg, LoginFrm->Session(), *MainFrm->spStatus1, *MainFrm->pb1, MainFrm.get());
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
}

void QuellixProgram::Start() { LoginFrm->show(); }

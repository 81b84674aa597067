#pragma once
// The running program: the files beside it, the shared message dialog and
// skin data, and the six windows, created once in their fixed order (login,
// main, links, download, skins, about) and kept until the end.

#include "config/localfiles.h"
#include "config/transferoptions.h"
#include "login/gui/sitedialog.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "text/errors.h"

#include <QString>
#include <functional>
#include <memory>

class NoticeSink;
class SavedLogin;
class SecretStore;
class TDownFrm;
class TLinkFrm;
class TLoginFrm;
class TMainFrm;
class TSkinFrm;
class TVerFrm;

// The standard error report of the program: an error that escaped a
// handler is shown with its text in an error message; while the program is
// ending (requests abandoned on the way out) nothing is shown.
ErrorReportSink StandardErrorReport(TMsgDlg& msgDlg);

// The desktop's services the program uses; null: the desktop's own (the
// keyring over the Secret Service, notifications over D-Bus). Tests give
// their own.
struct DesktopServices {
    SecretStore* secrets = nullptr;
    NoticeSink* notices = nullptr;
};

class QuellixProgram {
public:
    // `programFolder`: where quellix.cfg, settings.cfg, skins/ ... are.
    // `messageInterceptor`, when given, answers every message instead of a
    // dialog, from the first one on (tests). With `reportErrors` the
    // standard error report shows errors through MsgDlg from the creation of
    // the first window on; without it the caller's report stays (tests).
    // `askSite`: offered when no quellix.cfg is found (see TLoginFrm).
    explicit QuellixProgram(const QString& programFolder,
                            std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor = nullptr,
                            bool reportErrors = false, SiteAsker askSite = nullptr, DesktopServices desktop = {});
    // The same with the files of either mode.
    explicit QuellixProgram(const LocalFiles& files,
                            std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor = nullptr,
                            bool reportErrors = false, SiteAsker askSite = nullptr, DesktopServices desktop = {});
    ~QuellixProgram();

    // Shows the login window, the application's main window.
    void Start();

    LocalFiles Files;
    TMsgDlg MsgDlg;
    TSkinData SkinData;

    // The options of quellix.ini, read at start; the login window keeps its
    // switches in them, the main window the rest.
    TransferOptions Options;
    SecretStore* Secrets = nullptr;
    NoticeSink* Notices = nullptr;
    std::unique_ptr<SavedLogin> Saved;

    std::unique_ptr<TLoginFrm> LoginFrm;
    std::unique_ptr<TMainFrm> MainFrm;
    // Owned by the main window.
    TLinkFrm* LinkFrm = nullptr;
    TDownFrm* DownFrm = nullptr;
    TSkinFrm* SkinFrm = nullptr;
    TVerFrm* VerFrm = nullptr;

private:
    bool reportErrors_;
    std::unique_ptr<SecretStore> ownSecrets_;
    std::unique_ptr<NoticeSink> ownNotices_;
};

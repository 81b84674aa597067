#pragma once
// The running program: the files beside it, the shared message dialog and
// skin data, and the six windows, created once in their fixed order (login,
// main, links, download, skins, about) and kept until the end.

#include "config/localfiles.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"

#include <QString>
#include <functional>
#include <memory>

class TDownFrm;
class TLinkFrm;
class TLoginFrm;
class TMainFrm;
class TSkinFrm;
class TVerFrm;

class QuellixProgram {
public:
    // `programFolder`: where quellix.cfg, settings.cfg, skins/ ... are.
    // `messageInterceptor`, when given, answers every message instead of a
    // dialog, from the first one on (tests).
    explicit QuellixProgram(const QString& programFolder,
                            std::function<TModalResult(const MsgDlgMessage&)> messageInterceptor = nullptr);
    ~QuellixProgram();

    // Shows the login window, the application's main window.
    void Start();

    LocalFiles Files;
    TMsgDlg MsgDlg;
    TSkinData SkinData;

    std::unique_ptr<TLoginFrm> LoginFrm;
    std::unique_ptr<TMainFrm> MainFrm;
    // Owned by the main window.
    TLinkFrm* LinkFrm = nullptr;
    TDownFrm* DownFrm = nullptr;
    TSkinFrm* SkinFrm = nullptr;
    TVerFrm* VerFrm = nullptr;
};

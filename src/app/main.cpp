// The program entry: one running copy per user, the six windows created once
// in their fixed order, and the event loop until the program is told to end.

#include "about/uVersion.h"
#include "app/Main.h"
#include "config/localfiles.h"
#include "disk/uLink.h"
#include "download/uDown.h"
#include "login/uLogin.h"
#include "net/nestedwait.h"
#include "platform/gui/msgdlg.h"
#include "platform/gui/skindata.h"
#include "platform/singleinstance.h"
#include "skinmgr/uSkin.h"
#include "text/errors.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

// The last line of the standard error report: an error that escaped every
// guarded handler still never unwinds out of the event loop.
class QuellixApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            ReportUnhandledError(error);
            return false;
        }
    }
};

void showAlreadyRunning() {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8("系统提示!"),
                    QString::fromUtf8("程序已经运行, 按确定关闭此窗口!"), QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定"));
    box.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QuellixApplication app(argc, argv);
    SingleInstanceGuard guard(QStringLiteral("vexlin"));
    if (!guard.acquire()) {
        showAlreadyRunning();
        return 0;
    }

    const LocalFiles files = LocalFiles::ofRunningProgram();
    TMsgDlg msgDlg;
    TSkinData skinData;
    skinData.LoadBuiltIn();
    SetErrorReportSink([&msgDlg](const QByteArray&, const QByteArray& message) {
        if (!ApplicationTerminating())
            msgDlg.MessageDlg(message, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    });

    TLoginFrm loginFrm(files, msgDlg, skinData);
    TMainFrm mainFrm(files, msgDlg, skinData, loginFrm);
    TLinkFrm linkFrm(msgDlg, &mainFrm);
    TDownFrm downFrm(&mainFrm);
    TSkinFrm skinFrm(&mainFrm);
    TVerFrm verFrm(&mainFrm);
    mainFrm.AttachWindows(&linkFrm, &downFrm, &skinFrm, &verFrm);
    loginFrm.ShowMainWindow = [&] {
        loginFrm.hide();
        mainFrm.show();
    };

    loginFrm.show();
    const int code = app.exec();
    SetErrorReportSink(nullptr);
    return code;
}

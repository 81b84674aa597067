// The program entry: one running copy per user, the six windows created once
// in their fixed order, and the event loop until the program is told to end.
// The program's files are beside it when its folder is writable, else in the
// user's data folder (see LocalFiles).

#include "app/program.h"
#include "config/localfiles.h"
#include "login/gui/sitedialog.h"
#include "platform/singleinstance.h"
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

    int code = 0;
    {
        // An installed copy writes into the user's data folder; the skins
        // folder and the settings file go there.
        const LocalFiles files = LocalFiles::ofRunningProgram();
        files.makeDataFolder();
        QuellixProgram program(files, nullptr, true, AskSiteAddress);
        program.Start();
        code = app.exec();
    }
    return code;
}

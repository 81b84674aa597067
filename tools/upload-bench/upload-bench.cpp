// Times the client's whole upload run with its real windows (offscreen
// unless QT_QPA_PLATFORM names another platform):
//
//   quellix-upload-bench PROGRAM_DIR USER PASSWORD (--files FILE... | --folder DIR)
//
// PROGRAM_DIR holds the quellix.cfg naming the site. The tool logs in as a
// user would, waits for the site's settings, queues the files (or the files
// of a folder) through the queue's commands, and then clicks "上传文件": the
// time printed is that of the click, which covers the announcement
// ("postlist"), the FTP log-in, every SIZE and store, QUIT and the two
// "update" posts. It prints
//
//   files N bytes B seconds S
//
// and exits 0 when every row ended as uploaded, 1 otherwise.

#include "app/Main.h"
#include "app/program.h"
#include "login/uLogin.h"
#include "net/nestedwait.h"
#include "platform/helperlib.h"
#include "text/errors.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

int Fail(const char* text) {
    std::fprintf(stderr, "quellix-upload-bench: %s\n", text);
    return 1;
}

// Processes events until `done()` or `timeoutMs`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    return WaitWhileProcessingEvents(done, [&] { return clock.elapsed() > timeoutMs; }, 50) == WaitOutcome::Done;
}

}  // namespace

int main(int argc, char** argv) {
    // Offscreen unless the caller names a platform (scripts/bench-upload runs
    // it on a real X server as well).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 5 || (args[3] != QLatin1String("--files") && args[3] != QLatin1String("--folder")))
        return Fail("usage: quellix-upload-bench PROGRAM_DIR USER PASSWORD (--files FILE... | --folder DIR)");
    const bool folder = args[3] == QLatin1String("--folder");

    QByteArray lastError;
    SetErrorReportSink([&](const QByteArray&, const QByteArray& message) { lastError = message; });
    QuellixProgram program(args[0], [](const MsgDlgMessage& m) {
        std::fprintf(stderr, "message: %s\n", m.text.toUtf8().constData());
        return TModalResult::mrOk;
    });
    program.Start();
    TMainFrm& main = *program.MainFrm;
    program.LoginFrm->ED_User->setText(args[1]);
    program.LoginFrm->ED_Pwd->setText(args[2]);
    program.LoginFrm->btnLogin->click();
    if (!WaitUntil([&] { return main.isVisible() && !main.SiteSettings.FtpHost.isEmpty(); }, 30000))
        return Fail("no log-in or no settings from the site");

    const QStringList paths = args.mid(4);
    if (folder) {
        main.QueueCommands().BrowseFolderDlg = [&](QWidget*) { return paths.first(); };
        main.QueueCommands().AddLocalFolder();
    } else {
        main.QueueCommands().spOpenDlg = [&](QWidget*) { return paths; };
        main.QueueCommands().AddLocalFiles();
    }
    UploadQueue& queue = main.Queue();
    qint64 bytes = 0;
    for (int row = 0; row < queue.Count(); ++row)
        bytes += FileSizeByName(queue.FullPath(row));

    QElapsedTimer clock;
    clock.start();
    main.btnUpload->click();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    int uploaded = 0;
    for (int row = 0; row < queue.Count(); ++row)
        if (queue.Status(row) == QueueStatus::Succeeded())
            ++uploaded;
    std::printf("files %d bytes %lld seconds %.3f\n", queue.Count(), static_cast<long long>(bytes), seconds);
    if (!lastError.isEmpty())
        std::fprintf(stderr, "error: %s\n", lastError.constData());
    const bool ok = queue.Count() > 0 && uploaded == queue.Count() && main.UploadFinished;
    if (!ok)
        std::fprintf(stderr, "%d of %d rows uploaded; status: %s\n", uploaded, queue.Count(),
                     main.spStatus1->text().toUtf8().constData());
    SetApplicationTerminating(true);
    return ok ? 0 : 1;
}

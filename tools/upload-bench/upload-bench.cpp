// Times the client's whole upload run with its real windows (offscreen
// unless QT_QPA_PLATFORM names another platform):
//
//   quellix-upload-bench PROGRAM_DIR USER PASSWORD (--files FILE... | --folder DIR | --queue-rows N)
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
//
// With --queue-rows it times the queue page with N rows instead: the queue
// filled from a resume reply of N files, the selection of the first half
// (as a shift-click makes it, which sets their check boxes), "删除选中" and
// "清空列表", each until the window has processed and painted the change:
//
//   rows N fill S select S delete S clear S

#include "app/Main.h"
#include "app/program.h"
#include "login/gui/uLogin.h"
#include "net/nestedwait.h"
#include "platform/helperlib.h"
#include "text/errors.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTreeView>
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

// Seconds `step` takes, including the events it leaves (layout, painting).
double Timed(const std::function<void()>& step) {
    QElapsedTimer clock;
    clock.start();
    step();
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return double(clock.nsecsElapsed()) / 1e9;
}

int QueueOperations(TMainFrm& main, int rows) {
    main.PageControl1->setCurrentWidget(main.PCTask);
    QList<QByteArray> reply{"resume"};
    for (int i = 0; i < rows; ++i)
        reply.append("f" + QByteArray::number(i).rightJustified(6, '0') + ".bin|4096|/tmp/quellix-bench/");
    const double fill = Timed([&] { main.Registration().TakeResumeReply(reply); });
    QAbstractItemView* view = main.lv2->reportView();
    const double select = Timed([&] {
        const QAbstractItemModel* model = view->model();
        view->selectionModel()->select(
            QItemSelection(model->index(0, 0), model->index(rows / 2 - 1, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    });
    const double remove = Timed([&] { main.QueueCommands().N5Click(); });
    const int left = main.Queue().Count();
    const double clear = Timed([&] { main.QueueCommands().N6Click(); });
    std::printf("rows %d fill %.3f select %.3f delete %.3f clear %.3f\n", rows, fill, select, remove, clear);
    return left == rows - rows / 2 && main.Queue().Count() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Offscreen unless the caller names a platform (scripts/bench-upload runs
    // it on a real X server as well).
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 5 || (args[3] != QLatin1String("--files") && args[3] != QLatin1String("--folder") &&
                             args[3] != QLatin1String("--queue-rows")))
        return Fail("usage: quellix-upload-bench PROGRAM_DIR USER PASSWORD (--files FILE... | --folder DIR | "
                    "--queue-rows N)");
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

    if (args[3] == QLatin1String("--queue-rows")) {
        const int result = QueueOperations(main, args[4].toInt());
        SetApplicationTerminating(true);
        return result;
    }
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

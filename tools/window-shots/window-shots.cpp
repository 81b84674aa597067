// Pictures of the real windows of the program, logged in to a running site:
//
//   quellix-window-shots PROGRAM_DIR USER PASSWORD OUT_DIR
//
// PROGRAM_DIR holds the quellix.cfg naming the site. Writes login.png (the
// login window with the name typed), main.png (the main window with the
// root folder listed and the news strip), download.png (the download
// window offering a file), skins.png (the skin window previewing a skin
// fetched from the skin server), about-tabs.png (the about window as it
// opens, with its tabs) and about-page.png (the about window with the site's
// about page) into OUT_DIR. Messages are answered with OK and
// printed; the run ends by itself.

#include "about/uVersion.h"
#include "app/Main.h"
#include "app/program.h"
#include "disk/folderbrowser.h"
#include "disk/folderlisting.h"
#include "download/uDown.h"
#include "login/uLogin.h"
#include "platform/gui/jpegpicture.h"
#include "skinmgr/uSkin.h"
#include "net/nestedwait.h"
#include "text/errors.h"

#include <QApplication>
#include <QListWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    return WaitWhileProcessingEvents(condition, [&] { return clock.elapsed() > timeoutMs; }, 50) ==
           WaitOutcome::Done;
}

void settle() {
    QElapsedTimer clock;
    clock.start();
    WaitWhileProcessingEvents([] { return false; }, [&] { return clock.elapsed() > 300; }, 50);
}

bool save(QWidget& window, const QString& path) {
    const bool ok = window.grab().save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The download window offering the first file of the listing, and the skin
// window with the second offered skin selected once its preview is there.
// Both are shown without blocking, so they can be drawn.
bool shootTransferWindows(QuellixProgram& program, const QString& outDir) {
    TMainFrm& main = *program.MainFrm;
    bool ok = true;
    for (int row = 0; row < main.lv1->Count(); ++row) {
        if (!IsFileRow(*main.lv1, row))
            continue;
        for (int other = 0; other < main.lv1->Count(); ++other)
            main.lv1->SetSelected(other, other == row);
        TDownFrm& down = *program.DownFrm;
        const QString id = main.lv1->SubItem(row, ListingColumn::Id);
        down.SetFile(QString::fromUtf8(program.LoginFrm->Session().SiteUrl) + QStringLiteral("file-") + id +
                         QStringLiteral(".html"),
                     main.lv1->Caption(row), main.lv1->SubItem(row, ListingColumn::Size),
                     main.lv1->SubItem(row, ListingColumn::Type), id);
        down.show();
        settle();
        ok = save(down, outDir + QStringLiteral("/download.png")) && ok;
        down.hide();
        break;
    }

    TSkinFrm& skins = *program.SkinFrm;
    skins.show();
    settle();
    if (skins.SLBox->count() > 1) {
        skins.SLBox->setCurrentRow(1);
        skins.SLBoxListBoxClick();
    }
    const QString preview = program.Files.skinPreview(QString::fromUtf8(skins.SelectedSkin));
    ok = waitUntil([&] { return skins.PVImg->FileName() == preview; }, 20000) && ok;
    settle();
    ok = save(skins, outDir + QStringLiteral("/skins.png")) && ok;
    skins.hide();
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: quellix-window-shots PROGRAM_DIR USER PASSWORD OUT_DIR\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[4]);
    QDir().mkpath(outDir);
    SetErrorReportSink([](const QByteArray& cls, const QByteArray& message) {
        std::fprintf(stderr, "error: %s: %s\n", cls.constData(), message.constData());
    });
    QuellixProgram program(QString::fromLocal8Bit(argv[1]), [](const MsgDlgMessage& m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return TModalResult::mrOk;
    });
    program.Start();
    TLoginFrm& login = *program.LoginFrm;
    login.ED_User->setText(QString::fromLocal8Bit(argv[2]));
    login.ED_Pwd->setText(QString::fromLocal8Bit(argv[3]));
    settle();
    bool ok = save(login, outDir + QStringLiteral("/login.png"));

    TMainFrm& main = *program.MainFrm;
    login.btnLoginClick();
    ok = waitUntil([&] { return main.isVisible() && main.lv1->Count() > 0 && !main.loading->isVisible(); }, 20000) && ok;
    // The news strip appears once its page has loaded.
    ok = waitUntil([&] { return main.WBPanel->isVisible(); }, 20000) && ok;
    main.resize(820, 520);
    if (main.lv1->Count() > 2)
        main.lv1->SetSelected(2, true);
    settle();
    ok = save(main, outDir + QStringLiteral("/main.png")) && ok;
    ok = shootTransferWindows(program, outDir) && ok;

    // The about window appears when its page probe has ended, with the tab
    // view; the page takes the tabs' place once it has loaded.
    TVerFrm& about = *program.VerFrm;
    about.show();
    ok = save(about, outDir + QStringLiteral("/about-tabs.png")) && ok;
    ok = waitUntil([&] { return about.WBPanel->isVisible(); }, 20000) && ok;
    settle();
    ok = save(about, outDir + QStringLiteral("/about-page.png")) && ok;
    about.close();
    SetErrorReportSink(nullptr);
    return ok ? 0 : 1;
}

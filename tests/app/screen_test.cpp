// The real program on an X server of its own, driven with real mouse and key
// events (xdotool) against the demo site, and every window checked on the
// picture the X server shows: its area is not of one colour (a black or
// unpainted window), and the regions where its caption texts stand look as
// in the README's pictures (docs/screenshots), which scripts/screenshots
// takes with this same run: with QUELLIX_SCREENSHOT_DIR set, the run writes
// each window's picture there instead of comparing.

#include "support/demosite.h"
#include "support/sessionbus.h"
#include "support/testutil.h"
#include "support/xscreen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// How a window should look once it has settled.
struct Look {
    QString file;                          // picture name under docs/screenshots
    QString window;                        // window name (regular expression)
    QList<QRect> captions;                 // window-relative regions holding caption texts
    std::function<bool(const QImage&)> ready = [](const QImage&) { return true; };  // content has arrived
};

// A picture differing from the reference by less than this mean grey
// difference in a region shows the same texts there; a text missing or
// moved by a few pixels gives several times more.
constexpr double kSameLook = 6.0;

bool isColour(QRgb p, int r, int g, int b) {
    return qAbs(qRed(p) - r) < 40 && qAbs(qGreen(p) - g) < 40 && qAbs(qBlue(p) - b) < 40;
}

// The runnable program in a folder of its own (the client reads quellix.cfg
// beside itself), hard-linked when the file system allows it.
bool makeProgramFolder(const QString& dir) {
    const QDir source(ProgramDir());
    for (const QFileInfo& entry : source.entryInfoList(QDir::Files)) {
        const QString name = entry.fileName();
        if (name == QLatin1String("quellix.cfg") || name == QLatin1String("settings.cfg") ||
            name == QLatin1String("debug.txt") || name == QLatin1String("quellix.debug"))
            continue;
        const QString target = dir + QLatin1Char('/') + name;
        // Not a symbolic link: the program would look for its files beside the link's target.
        if (::link(qPrintable(entry.absoluteFilePath()), qPrintable(target)) != 0 &&
            !QFile::copy(entry.absoluteFilePath(), target))
            return false;
    }
    QDir().mkpath(dir + QStringLiteral("/res"));
    for (const QFileInfo& entry : QDir(ProgramDir() + QStringLiteral("/res")).entryInfoList(QDir::Files))
        if (!QFile::copy(entry.absoluteFilePath(), dir + QStringLiteral("/res/") + entry.fileName()))
            return false;
    return true;
}

class ScreenRun {
public:
    explicit ScreenRun(XScreen& x) : x_(x) {
        const QString shots = qEnvironmentVariable("QUELLIX_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            outDir_ = shots;
            QDir().mkpath(outDir_);
        }
    }

    // Waits for `look`'s window to appear and settle; then compares its
    // caption regions with the reference, or writes its picture. The window
    // rectangle on the screen, empty when it never appeared.
    QRect check(const Look& look, int timeoutMs = 30000) {
        SCOPED_TRACE(look.file.toStdString());
        const QRect rect = x_.waitForWindow(look.window, timeoutMs);
        EXPECT_FALSE(rect.isEmpty()) << "no visible window " << look.window.toStdString();
        if (rect.isEmpty())
            return rect;
        const QImage reference(SourceDir() + QStringLiteral("/docs/screenshots/") + look.file);
        QElapsedTimer clock;
        clock.start();
        QImage shot, previous;
        QStringList mismatches;
        for (;;) {
            const QImage screen = x_.capture();
            shot = screen.copy(rect);
            mismatches.clear();
            const bool ready = !screen.isNull() && look.ready(shot);
            if (ready && outDir_.isEmpty())
                mismatches = compare(look, shot, reference);
            const bool settled = ready && (outDir_.isEmpty() ? mismatches.isEmpty() : same(look, shot, previous));
            if (settled || clock.elapsed() > timeoutMs)
                break;
            previous = shot;
            QThread::msleep(300);
        }
        // Not of one colour: a black or unpainted window has no ink at all.
        EXPECT_GT(InkShare(shot, shot.rect()), 0.05) << "the window is of one colour";
        EXPECT_TRUE(look.ready(shot)) << "the window's content did not arrive";
        if (!outDir_.isEmpty()) {
            EXPECT_TRUE(shot.save(outDir_ + QLatin1Char('/') + look.file));
            return rect;
        }
        EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join(QLatin1String("; ")).toStdString();
        if (!mismatches.isEmpty() || !look.ready(shot))
            shot.save(QStringLiteral("screen-") + look.file);  // in the test's folder, to look at
        return rect;
    }

    // A click at a window-relative point; `button` 1 left, 3 right; `count`
    // 2 for a double click.
    void click(const QRect& window, QPoint at, int button = 1, int count = 1) {
        const QPoint p = window.topLeft() + at;
        x_.xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
        QThread::msleep(100);
        x_.xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(count),
                    QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
        QThread::msleep(200);
    }
    void keys(const QStringList& names) {
        for (const QString& key : names) {
            x_.xdotool({QStringLiteral("key"), key});
            QThread::msleep(100);
        }
    }
    void type(const QString& text) {
        x_.xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    }

private:
    static QStringList compare(const Look& look, const QImage& shot, const QImage& reference) {
        if (reference.size() != shot.size())
            return {QStringLiteral("window size %1x%2, the reference's %3x%4")
                        .arg(shot.width())
                        .arg(shot.height())
                        .arg(reference.width())
                        .arg(reference.height())};
        QStringList out;
        for (const QRect& r : look.captions) {
            const double d = MeanGreyDifference(shot, r, reference.convertToFormat(QImage::Format_RGB32), r.topLeft());
            if (d >= kSameLook)
                out << QStringLiteral("region %1,%2 %3x%4 differs by %5")
                           .arg(r.x())
                           .arg(r.y())
                           .arg(r.width())
                           .arg(r.height())
                           .arg(d, 0, 'f', 1);
        }
        return out;
    }
    static bool same(const Look& look, const QImage& a, const QImage& b) {
        if (b.isNull() || a.size() != b.size())
            return false;
        for (const QRect& r : look.captions)
            if (MeanGreyDifference(a, r, b, r.topLeft()) > 0.0)
                return false;
        return true;
    }

    XScreen& x_;
    QString outDir_;
};

const QString kMain = QStringLiteral("文件上传下载客户端$");

// Window-relative spots of the main window (714 x 496 with its menu bar,
// once the news strip is shown) and of the skin window.
const QPoint kHelpMenu(170, 13), kOptionsMenu(100, 13);
const QPoint kReadmeRow(60, 212);
const QPoint kQueueTab(169, 403), kDiskTab(60, 403), kDownloadsTab(275, 403);
const QPoint kSecondSkin(38, 63);
// The group titles, labels and buttons of "传输设置".
const QList<QRect> kTransferCaptions = {{10, 5, 130, 145}, {10, 170, 100, 150}, {10, 340, 100, 85}, {0, 440, 392, 60}};

// The program folder beside the build's (one file system, so hard links
// work) with its home, set up for `site`.
struct ProgramCopy {
    explicit ProgramCopy(const DemoSite& site)
        : dir(QFileInfo(ProgramDir()).absolutePath() + QStringLiteral("/screen-test-XXXXXX")) {
        programDir = dir.filePath(QStringLiteral("quellix"));
        home = dir.filePath(QStringLiteral("home"));
        ok = dir.isValid() && QDir().mkpath(programDir) && QDir().mkpath(home) && makeProgramFolder(programDir) &&
             site.writeSiteConfig(programDir);
        QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // A home and run-time folder of its own: the web engine's profile and
    // the single-instance lock stay apart from any other copy that runs.
    QProcess* start(XScreen& x) {
        QProcessEnvironment env = x.environment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
        return x.start(programDir + QStringLiteral("/quellix"), {}, env, programDir);
    }
    QTemporaryDir dir;
    QString programDir;
    QString home;
    bool ok = false;
};

TEST(ScreenTest, EveryWindowDrawsOnTheXServer) {
    XScreen x;
    ASSERT_TRUE(x.isRunning()) << x.errorText().toStdString();
    // The about page answers its probe at once and its page after a while,
    // so that the about window's tab view stays on the screen meanwhile.
    DemoSite site({QStringLiteral("--big-file-mib"), QStringLiteral("1"), QStringLiteral("--about-delay"),
                   QStringLiteral("8"), QStringLiteral("--skins-dir"), QStringLiteral(QUELLIX_SKIN_SERVER_DIR)});
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    // Beside the build's program folder: one file system, so hard links work.
    QTemporaryDir dir(QFileInfo(ProgramDir()).absolutePath() + QStringLiteral("/screen-test-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString programDir = dir.filePath(QStringLiteral("quellix"));
    const QString home = dir.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(programDir) && QDir().mkpath(home));
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(makeProgramFolder(programDir));
    ASSERT_TRUE(site.writeSiteConfig(programDir));

    // A home and run-time folder of its own: the web engine's profile and the
    // single-instance lock stay apart from any other copy that runs.
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    // A desktop's session bus, on which the keyring can be started: the
    // login window's "记住密码" is offered.
    TestSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorText().toStdString();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    x.start(programDir + QStringLiteral("/quellix"), {}, env, programDir);
    ScreenRun run(x);

    // Login: the name and password typed into the fields.
    const Look login{QStringLiteral("login.png"), QStringLiteral("^网盘用户登录$"),
                     {{120, 30, 180, 25}, {50, 80, 85, 22}, {50, 118, 85, 22}, {135, 82, 60, 20},
                      {315, 80, 58, 22}, {315, 118, 58, 22}, {130, 150, 180, 24}, {130, 186, 85, 30},
                      {225, 186, 85, 30}}};
    const QRect loginRect = x.waitForWindow(login.window, 30000);
    ASSERT_FALSE(loginRect.isEmpty()) << "the login window never appeared";
    // Without a window manager the keyboard follows the pointer.
    run.click(loginRect, {200, 99});
    run.type(QStringLiteral("demo"));
    run.keys({QStringLiteral("Tab")});
    run.type(QStringLiteral("demo123"));
    run.check(login);
    run.keys({QStringLiteral("Return")});

    // Main window with the listing and the news strip, then its second tab.
    const QRect menus(10, 3, 200, 20), tabs(0, 386, 318, 36);
    const Look main{QStringLiteral("main.png"), kMain,
                    {menus, {0, 62, 714, 28}, {0, 92, 240, 176}, tabs, {0, 478, 400, 18}},
                    [](const QImage& shot) {  // the news strip's badge, above the status bar
                        for (int y = shot.height() - 70; y < shot.height() - 30; ++y) {
                            if (y >= 0 && isColour(shot.pixel(30, y), 232, 89, 12))
                                return true;
                        }
                        return false;
                    }};
    const QRect mainRect = run.check(main, 60000);
    ASSERT_FALSE(mainRect.isEmpty());
    run.click(mainRect, kQueueTab);
    run.check({QStringLiteral("main-queue.png"), kMain, {menus, {0, 30, 714, 60}, tabs}});
    run.click(mainRect, kDiskTab);

    // Download window for "readme.txt", opened with a double click.
    run.click(mainRect, kReadmeRow, 1, 2);
    run.check({QStringLiteral("download.png"), QStringLiteral("^文件下载管理$"),
               {{10, 20, 62, 125}, {80, 51, 160, 26}, {236, 86, 156, 28}, {10, 122, 300, 20}, {236, 198, 156, 30}}});
    run.keys({QStringLiteral("Escape")});

    // Link window: the row's context menu, "文件访问链接".
    run.click(mainRect, kReadmeRow, 3);
    run.keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    run.check({QStringLiteral("links.png"), QStringLiteral("^获取文件链接$"), {{338, 244, 158, 30}}});
    run.keys({QStringLiteral("Escape")});

    // Skin window with the second skin (Jade) and its preview, fetched from
    // the skin server.
    run.click(mainRect, kOptionsMenu);
    run.keys({QStringLiteral("Down"), QStringLiteral("Return")});
    const QRect skinRect = x.waitForWindow(QStringLiteral("^网盘皮肤切换$"), 30000);
    ASSERT_FALSE(skinRect.isEmpty()) << "the skin window never appeared";
    run.click(skinRect, kSecondSkin);
    run.check({QStringLiteral("skins.png"), QStringLiteral("^网盘皮肤切换$"),
               {{8, 0, 70, 20}, {160, 0, 70, 20}, {8, 20, 132, 85}, {158, 20, 356, 252}, {348, 282, 166, 32}},
               [](const QImage& shot) { return isColour(shot.pixel(300, 38), 29, 143, 112); }});
    run.keys({QStringLiteral("Escape")});

    // "传输设置", the options menu's second item.
    run.click(mainRect, kOptionsMenu);
    run.keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    run.check({QStringLiteral("transfer.png"), QStringLiteral("^传输设置$"), kTransferCaptions});
    run.keys({QStringLiteral("Escape")});

    // About window: first its tabs, then the site's page in their place.
    run.click(mainRect, kHelpMenu);
    run.keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    const QRect versionRow(0, 290, 505, 30);
    run.check({QStringLiteral("about-tabs.png"), QStringLiteral("^关于软件$"),
               {{0, 0, 190, 28}, {5, 32, 480, 60}, versionRow, {370, 322, 135, 20}}});
    run.check({QStringLiteral("about-page.png"), QStringLiteral("^关于软件$"),
               {{0, 0, 505, 80}, {0, 90, 505, 160}, versionRow},
               [](const QImage& shot) { return isColour(shot.pixel(20, 20), 31, 96, 192); }});
}

// Login as the demo user in the login window that is on the screen.
void logIn(XScreen& x, ScreenRun& run) {
    const QRect loginRect = x.waitForWindow(QStringLiteral("^网盘用户登录$"), 30000);
    ASSERT_FALSE(loginRect.isEmpty()) << "the login window never appeared";
    run.click(loginRect, {200, 99});
    run.type(QStringLiteral("demo"));
    run.keys({QStringLiteral("Tab")});
    run.type(QStringLiteral("demo123"));
    run.keys({QStringLiteral("Return")});
}

// Requests of the site since `from` whose target or body holds `text`.
int requestsWith(const DemoSite& site, qsizetype from, const QByteArray& text) {
    int count = 0;
    for (const LoggedRequest& r : site.requests().mid(from))
        count += r.target.contains(text) || r.body.contains(text);
    return count;
}

TEST(ScreenTest, QueuedDownloadsRunSideBySideAndComeBackAfterQuittingToBeContinued) {
    XScreen x;
    ASSERT_TRUE(x.isRunning()) << x.errorText().toStdString();
    // Ten files of up to 512 KiB in "目录树", the 2 MiB file in "软件", and
    // a server that sends 100 KB/s per connection: the transfers are still
    // running when the program quits.
    DemoSite site({QStringLiteral("--big-file-mib"), QStringLiteral("2"), QStringLiteral("--tree"),
                   QStringLiteral("10,0,512"), QStringLiteral("--download-rate"), QStringLiteral("100000")});
    ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
    ProgramCopy program(site);
    ASSERT_TRUE(program.ok);
    const QString downloads = program.programDir + QStringLiteral("/Downloads/");
    QProcess* client = program.start(x);
    ScreenRun run(x);
    logIn(x, run);
    const QRect mainRect = x.waitForWindow(kMain, 60000);
    ASSERT_FALSE(mainRect.isEmpty());
    ASSERT_TRUE(WaitFor([&] { return requestsWith(site, 0, "action=mydisk&folder_id=0&") == 1; }, 30000));

    // The rows of the root: 图片, 文档, 目录树, 空文件夹, 软件, files.
    const auto row = [](int index) { return QPoint(60, 102 + 22 * index); };
    // "软件", then its 2 MiB file, started from the download window.
    run.click(mainRect, row(4), 1, 2);
    ASSERT_TRUE(WaitFor([&] { return requestsWith(site, 0, "action=mydisk&folder_id=12&") == 1; }, 30000));
    run.click(mainRect, row(0), 1, 2);
    ASSERT_FALSE(x.waitForWindow(QStringLiteral("^文件下载管理$"), 30000).isEmpty());
    run.keys({QStringLiteral("Return")});
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(downloads + QStringLiteral("大文件 64MB.bin.part")); }, 30000));

    // While it runs: the root, "目录树", all ten files selected, Enter.
    run.click(mainRect, {18, 42});  // 网盘根目录
    ASSERT_TRUE(WaitFor([&] { return requestsWith(site, 0, "action=mydisk&folder_id=0&") == 2; }, 30000));
    const qsizetype beforeTree = site.requests().size();
    run.click(mainRect, row(2), 1, 2);
    ASSERT_TRUE(WaitFor([&] { return requestsWith(site, beforeTree, "action=mydisk&") == 1; }, 30000));
    run.click(mainRect, row(0));
    run.keys({QStringLiteral("ctrl+a"), QStringLiteral("Return")});
    ASSERT_FALSE(x.waitForWindow(QStringLiteral("^文件下载管理$"), 30000).isEmpty());
    run.keys({QStringLiteral("Return")});

    // The queue page: the big file and two of the ten at a time.
    const QString disk = site.dataDir() + QStringLiteral("/disk/demo/");
    const QStringList tree = QDir(disk + QStringLiteral("目录树")).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(tree.size(), 10);
    ASSERT_TRUE(WaitFor([&] { return QDir(downloads).entryList({QStringLiteral("*.part")}, QDir::Files).size() >= 2; },
                        30000));
    run.click(mainRect, kDownloadsTab);
    run.check({QStringLiteral("main-downloads.png"), kMain,
               {{10, 3, 200, 20}, {0, 24, 714, 26}, {0, 52, 170, 240}, {0, 386, 318, 36}}});

    // Quit while files run: 文件 → 安全退出.
    const QStringList runningBefore = QDir(downloads).entryList({QStringLiteral("*.part")}, QDir::Files);
    run.keys({QStringLiteral("alt+f"), QStringLiteral("Down"), QStringLiteral("Return")});
    ASSERT_TRUE(WaitFor([&] { return client->state() == QProcess::NotRunning; }, 30000));
    // Never a partial file under a final name: only part files and states.
    const QStringList afterQuit = QDir(downloads).entryList(QDir::Files);
    EXPECT_TRUE(afterQuit.contains(QStringLiteral("大文件 64MB.bin.part.state"))) << afterQuit.join(' ').toStdString();
    EXPECT_FALSE(afterQuit.contains(QStringLiteral("大文件 64MB.bin")));
    for (const QString& name : tree)
        EXPECT_FALSE(afterQuit.contains(name) && afterQuit.contains(name + QStringLiteral(".part")));
    int unfinished = 0;
    for (const QString& name : tree)
        unfinished += !afterQuit.contains(name);
    EXPECT_GT(unfinished, 0);
    ASSERT_TRUE(QFile::exists(program.programDir + QStringLiteral("/downloads.queue")));

    // Logged in again: the unfinished rows are back and wait for the user.
    const qsizetype beforeSecond = site.requests().size();
    client = program.start(x);
    logIn(x, run);
    const QRect again = x.waitForWindow(kMain, 60000);
    ASSERT_FALSE(again.isEmpty());
    ASSERT_TRUE(WaitFor([&] { return requestsWith(site, beforeSecond, "action=mydisk&folder_id=0&") == 1; }, 30000));
    EXPECT_EQ(requestsWith(site, beforeSecond, "action=download&"), 0) << "a paused row started by itself";
    // "继续" from the queue page's context menu, on every row.
    run.click(again, kDownloadsTab);
    run.click(again, {60, 63});
    run.keys({QStringLiteral("ctrl+a")});
    // The menu opens below the current row; the keys wait until it shows,
    // after the selection has been drawn.
    const QRect menuArea(again.left(), again.top() + 75, 120, 130);
    QImage before = x.capture();
    // True once two captures in a row show the menu's area alike.
    const auto menuAreaStill = [&] {
        const QImage now = x.capture();
        const bool still = MeanGreyDifference(now, menuArea, before, menuArea.topLeft()) == 0;
        before = now;
        return still;
    };
    ASSERT_TRUE(WaitFor(menuAreaStill, 10000));
    run.keys({QStringLiteral("Menu")});
    ASSERT_TRUE(WaitFor([&] { return MeanGreyDifference(x.capture(), menuArea, before, menuArea.topLeft()) > 10; }, 10000))
        << "the context menu did not open";
    // The keys go to the menu only once it is drawn whole (on a slow build
    // the first keys could otherwise reach the list and undo the selection).
    ASSERT_TRUE(WaitFor(menuAreaStill, 10000));
    run.keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    ASSERT_TRUE(WaitFor(
        [&] {
            if (QFileInfo::exists(downloads + QStringLiteral("大文件 64MB.bin.part")))
                return false;
            for (const QString& name : tree)
                if (!QFileInfo::exists(downloads + name) || QFileInfo::exists(downloads + name + ".part"))
                    return false;
            return QFileInfo::exists(downloads + QStringLiteral("大文件 64MB.bin"));
        },
        90000))
        << QDir(downloads).entryList(QDir::Files).join(' ').toStdString();
    EXPECT_TRUE(ReadFileBytes(downloads + QStringLiteral("大文件 64MB.bin")) ==
                ReadFileBytes(disk + QStringLiteral("软件/大文件 64MB.bin")));
    for (const QString& name : tree)
        EXPECT_TRUE(ReadFileBytes(downloads + name) == ReadFileBytes(disk + QStringLiteral("目录树/") + name))
            << name.toStdString();
    EXPECT_TRUE(QDir(downloads).entryList({QStringLiteral("*.part*")}, QDir::Files).isEmpty());
    std::printf("[ figures  ] running when the program quit: %s\n", runningBefore.join(QStringLiteral(", ")).toUtf8().constData());
}

}  // namespace

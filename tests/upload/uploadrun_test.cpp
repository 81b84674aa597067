// The upload run and the registration requests driven without the main
// window: the queue page's widgets on their own, a scripted site and a
// scripted FTP server whose faults each test chooses. The whole FTP
// dialogue is asserted where it matters. (The realistic runs against the
// demo site and pyftpdlib are in uploaddemo_test.cpp.)

#include "platform/gui/listview.h"
#include "platform/gui/msgdlg.h"
#include "support/faultproxy.h"
#include "support/fakesite.h"
#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/scriptedftp.h"
#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"
#include "upload/gui/queuecommands.h"
#include "upload/gui/uploadqueuemodel.h"
#include "upload/gui/uploadwindow.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadrun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class UploadRunTest : public testing::Test {
protected:
    UploadRunTest() {
        QLocale::setDefault(QLocale::c());
        pb1.setRange(0, 100);
        btnAbort.setEnabled(false);
        btnCancel.setEnabled(false);
        pages.addTab(new QWidget, QStringLiteral("disk"));
        pages.addTab(&task, QStringLiteral("task"));
        session.SiteUrl = site.url();
        session.AccountName = "alice";
        session.AccountToken = "TOK";
        settings.FtpHost = "127.0.0.1";
        settings.FtpUser = "uploader";
        settings.FtpPassword = "pw";
        settings.FtpPort = QByteArray::number(ftp.port());
        settings.FtpDir = "/up/";
        settings.FtpPassive = "1";
        settings.RegisterSiteUrl = site.url();
        msgDlg.Interceptor = [this](const MsgDlgMessage& m) {
            messages.append(m);
            return answerWith;
        };
        window.OnStatusText = [this](const QString& text) { statuses.append(text); };
        site.handler = [this](const FakeRequest& r) -> FakeReply {
            const QByteArray action = r.field("action");
            if (replies.contains(action))
                return replies.value(action);
            return {200, action + "\r\n"};
        };
        commands.spOpenDlg = [this](QWidget*) {
            ++openDialogs;
            return chosenFiles;
        };
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
        QObject::connect(&btnUpload, &QPushButton::clicked, [this] { click(&UploadRun::btnUploadClick); });
    }
    ~UploadRunTest() override { SetErrorReportSink(nullptr); }

    QString make(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    // A click as the window delivers it: errors go to the report.
    void click(void (UploadRun::*handler)()) { RunGuarded([&] { (run.*handler)(); }); }
    // The user's click on "上传文件" (nothing happens while it is disabled).
    void pressUpload() { QTest::mouseClick(&btnUpload, Qt::LeftButton); }
    QByteArray entry(const QString& path) {
        const QFileInfo info(path);
        return FileListEntry(ToGbk(info.fileName()), ToGbk(dir.path()) + "/", info.size());
    }
    QByteArray remoteName(const QString& path) { return RemoteFileName(ToGbk(path), QFile(path).size()); }
    QList<QByteArray> commandsOf(const QByteArray& verb) const {
        QList<QByteArray> found;
        for (const QByteArray& line : ftp.commands())
            if (line.startsWith(verb + " ") || line == verb)
                found.append(line);
        return found;
    }

    QTemporaryDir dir;
    FakeSite site;
    ScriptedFtpServer ftp;
    QMap<QByteArray, FakeReply> replies;

    TListView lv2;
    QPushButton btnUpload{u("上传文件")};
    QPushButton btnAbort{u("暂停")};
    QPushButton btnCancel{u("取消")};
    QTabWidget pages;
    QWidget task;
    QLabel spStatus1{u("请选定本地文件进行上传")};
    QProgressBar pb1;
    TMsgDlg msgDlg;
    LocalFiles files{dir.path()};
    SiteSession session;
    TSiteSettings settings;
    int currentFolderId = 0;
    bool postListAccepted = false;
    bool uploadFinished = false;
    UploadWindow window{lv2, btnUpload, btnAbort, btnCancel, pages, task, spStatus1, pb1, msgDlg, nullptr,
                        files, session, settings, currentFolderId, postListAccepted, uploadFinished, nullptr};
    UploadQueue queue;
    UploadQueueModel queueModel{queue, lv2};
    UploadQueueCommands commands{window, queue, queueModel};
    UploadWindowPresenter presenter{window, queueModel, commands};
    UploadRegistration registration{window.Site(), queue, presenter};
    UploadRun run{window.Site(), queue, registration, presenter};

    QStringList statuses;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
    TModalResult answerWith = TModalResult::mrOk;
    QStringList chosenFiles;
    int openDialogs = 0;
};

TEST_F(UploadRunTest, AHundredThousandRowsTheServerHoldsOrThatAreMissingPassWithoutStackGrowth) {
    const QString held = make(QStringLiteral("held.bin"), "0123456789");
    const QString missing = dir.filePath(QStringLiteral("missing.bin"));
    constexpr int kRows = 100000;
    {
        const UploadQueue::Batch batch(queue);
        for (int row = 0; row < kRows; ++row)
            ASSERT_TRUE(queue.AddLocalFile(row % 2 == 0 ? held : missing));
    }
    ftp.replies["SIZE"] = "213 10\r\n";
    // Each held row's text is reported from inside the run; the deepest and
    // shallowest stack positions seen there must stay close together.
    quintptr lowest = ~quintptr(0);
    quintptr highest = 0;
    window.OnStatusText = [&](const QString&) {
        int marker = 0;
        const auto at = reinterpret_cast<quintptr>(&marker);
        lowest = std::min(lowest, at);
        highest = std::max(highest, at);
    };

    click(&UploadRun::btnUploadClick);

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_LT(highest - lowest, quintptr(64 * 1024)) << "stack spread in bytes";
    EXPECT_EQ(commandsOf("SIZE").size(), kRows / 2);
    EXPECT_TRUE(commandsOf("STOR").isEmpty());
    EXPECT_EQ(ftp.commands().last(), "QUIT");
    for (int row : {0, 1, kRows - 2, kRows - 1})
        EXPECT_EQ(queue.Status(row), row % 2 == 0 ? QueueStatus::Succeeded() : QueueStatus::FileMissing()) << row;
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_TRUE(uploadFinished);
}

TEST_F(UploadRunTest, RowChangesSelectionsAndTheGaugeReachTheViewsOncePerTickAndAtTheEnd) {
    constexpr int kFiles = 60;
    {
        const UploadQueue::Batch batch(queue);
        for (int i = 0; i < kFiles; ++i)
            ASSERT_TRUE(queue.AddLocalFile(make(QStringLiteral("f%1.txt").arg(i), "data")));
    }
    int rowAnnouncements = 0;
    int lastRowAnnounced = -1;
    QObject::connect(lv2.reportView()->model(), &QAbstractItemModel::dataChanged, &lv2,
                     [&](const QModelIndex&, const QModelIndex& bottomRight) {
                         ++rowAnnouncements;
                         lastRowAnnounced = std::max(lastRowAnnounced, bottomRight.row());
                     });
    int selectionChanges = 0;
    QObject::connect(lv2.reportView()->selectionModel(), &QItemSelectionModel::selectionChanged, &lv2,
                     [&] { ++selectionChanges; });
    int gaugeChanges = 0;
    QObject::connect(&pb1, &QProgressBar::valueChanged, &pb1, [&] { ++gaugeChanges; });
    QElapsedTimer clock;
    clock.start();

    click(&UploadRun::btnUploadClick);

    // Each kind of change at most once per 50 ms tick, plus the one when
    // the run came to rest.
    const qint64 ticks = clock.elapsed() / 50 + 2;
    EXPECT_EQ(commandsOf("STOR").size(), kFiles);
    EXPECT_LE(rowAnnouncements, ticks);
    EXPECT_LE(selectionChanges, ticks);
    EXPECT_LE(gaugeChanges, ticks);
    EXPECT_EQ(lastRowAnnounced, kFiles - 1);  // the last row's final status was announced
    EXPECT_EQ(lv2.SelectedRows().size(), kFiles);
    EXPECT_EQ(lv2.SubItem(kFiles - 1, QueueColumn::Status), QueueStatus::Succeeded());
    EXPECT_EQ(pb1.value(), 100);
    EXPECT_TRUE(statuses.contains(u("【f59.txt】文件上传中...")));  // every text still reaches OnStatusText
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
}

TEST_F(UploadRunTest, AFailedStoreMarksItsRowFailedAndStopsTheRun) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    const QString b = make(QStringLiteral("b.txt"), "bbbb");
    queue.AddLocalFiles({a, b, b});
    lv2.SetSelected(2, true);
    ftp.replies["STOR"] = "553 Not allowed.\r\n";

    click(&UploadRun::btnUploadClick);

    EXPECT_EQ(queue.Status(0), QueueStatus::Failed());
    EXPECT_EQ(queue.Status(1), QueueStatus::Queued());  // never taken
    // The row taken is selected and checked; the user's selection stays.
    EXPECT_EQ(lv2.SelectedRows(), (QList<int>{0, 2}));
    EXPECT_TRUE(lv2.Checked(0));
    EXPECT_FALSE(lv2.Checked(1));
    EXPECT_EQ(ftp.commands(), (QList<QByteArray>{"AUTH TLS", "USER uploader", "PASS pw", "CWD /up/", "TYPE I",
                                                 "SIZE " + remoteName(a), "PASV", "STOR " + remoteName(a)}));
    EXPECT_TRUE(site.requestsFor("update").isEmpty());
    // The run came to rest without finishing: cancel is the way back.
    EXPECT_FALSE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传中..."));
    EXPECT_TRUE(btnCancel.isEnabled());
    click(&UploadRun::btnCancelClick);
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传文件"));
    EXPECT_FALSE(btnCancel.isEnabled());
    EXPECT_EQ(spStatus1.text(), u("文件上传已取消"));
}

TEST_F(UploadRunTest, TheRunTakesOnlyTheAnnouncedRowsWhileTheUserChangesTheQueue) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    const QString b = make(QStringLiteral("b.txt"), "bb");
    const QString c = make(QStringLiteral("c.txt"), "c");
    const QString d = make(QStringLiteral("d.txt"), "dd");
    queue.AddLocalFiles({a, b, c});
    // While the first file is being stored the user deletes its row and
    // adds another file.
    ftp.onCommand = [&](ScriptedFtpServer&, const QByteArray& verb, const QByteArray&) {
        if (verb == "STOR" && queue.FileName(0) == QStringLiteral("a.txt")) {
            lv2.SetChecked(0, true);
            commands.N5Click();
            queue.AddLocalFile(d);
        }
        return false;
    };

    pressUpload();

    ASSERT_EQ(site.requestsFor("postlist").size(), 1);
    EXPECT_EQ(site.requestsFor("postlist")[0].field("fl"), entry(a) + entry(b) + entry(c));
    // The row after the deleted one is still taken; the added one was not
    // announced and waits for the next run.
    EXPECT_EQ(commandsOf("STOR"), (QList<QByteArray>{"STOR " + remoteName(a), "STOR " + remoteName(b),
                                                     "STOR " + remoteName(c)}));
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());  // b
    EXPECT_EQ(queue.Status(1), QueueStatus::Succeeded());  // c
    EXPECT_EQ(queue.Status(2), QueueStatus::Queued());     // d
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_FALSE(uploadFinished);  // the queue holds a row no run has taken

    // The next click announces the queue as it now stands and sends it.
    ftp.onCommand = nullptr;
    pressUpload();
    ASSERT_EQ(site.requestsFor("postlist").size(), 2);
    EXPECT_EQ(site.requestsFor("postlist")[1].field("fl"), entry(b) + entry(c) + entry(d));
    EXPECT_EQ(commandsOf("STOR").last(), "STOR " + remoteName(d));
    EXPECT_EQ(queue.Status(2), QueueStatus::Succeeded());
    EXPECT_TRUE(uploadFinished);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(UploadRunTest, AStoreThatKeepsTimingOutIsRetriedThenItsRowFails) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    queue.AddLocalFile(a);
    run.ftp1.Timeout = 1;
    run.RetryDelaysMs = {10, 20};
    ftp.onStoreEnd = [](ScriptedFtpServer&) {};  // the final 226 never comes

    click(&UploadRun::btnUploadClick);

    // The waits gave up; the aborted store's completion follows from the
    // event loop. The first try sent the file's bytes, so the next follows
    // at once; it gets no further, and neither do the two retries after it.
    EXPECT_TRUE(WaitFor([&] { return queue.Status(0) == QueueStatus::Failed(); }, 15000));
    EXPECT_EQ(ftp.controlConnections(), 4);
    EXPECT_FALSE(run.ftp1.Connected());
    EXPECT_TRUE(site.requestsFor("update").isEmpty());
    EXPECT_TRUE(btnCancel.isEnabled());
}

TEST_F(UploadRunTest, ANewRunClosesTheConnectionAFailedRunLeftOpen) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    queue.AddLocalFile(a);
    ftp.replies["CWD"] = "550 No such folder.\r\n";  // the server keeps the connection
    click(&UploadRun::btnUploadClick);
    ASSERT_TRUE(run.ftp1.Connected());
    EXPECT_EQ(queue.Status(0), QueueStatus::Queued());
    click(&UploadRun::btnCancelClick);

    ftp.replies.remove("CWD");
    click(&UploadRun::btnUploadClick);

    EXPECT_EQ(ftp.controlConnections(), 2);
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
    EXPECT_EQ(ftp.stored(), "aaaa");
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(UploadRunTest, TheEndOfRunStepsRunTwiceAndTheGaugeOfAnEmptyFileIsFull) {
    const QString empty = make(QStringLiteral("empty.txt"), "");
    queue.AddLocalFile(empty);
    const QByteArray name = remoteName(empty);

    click(&UploadRun::btnUploadClick);

    EXPECT_EQ(ftp.commands(), (QList<QByteArray>{"AUTH TLS", "USER uploader", "PASS pw", "CWD /up/", "TYPE I",
                                                 "SIZE " + name, "PASV", "STOR " + name, "QUIT"}));
    EXPECT_EQ(ftp.stored(), "");
    EXPECT_EQ(pb1.value(), 100);
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
    ASSERT_EQ(site.requests().size(), 3);
    EXPECT_EQ(site.requests()[0].body, "action=postlist&fl=" + FileListEntry("empty.txt", ToGbk(dir.path()) + "/", 0) +
                                           "&folder_id=0&username=alice&password=TOK");
    EXPECT_EQ(site.requests()[1].body, "action=update&username=alice&password=TOK");
    EXPECT_EQ(site.requests()[2].body, "action=update&username=alice&password=TOK");
    EXPECT_EQ(site.requests()[0].path, "/plugins/quellix_client/client_sub.php");
    const QStringList tail = statuses.mid(statuses.indexOf(u("全部文件上传结束。")));
    EXPECT_EQ(tail, (QStringList{u("全部文件上传结束。"), u("提示:上传文件入库成功"), u("全部文件上传成功"),
                                 u("提示:上传文件入库成功"), u("全部文件上传成功")}));
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_FALSE(btnAbort.isEnabled());
    EXPECT_FALSE(btnCancel.isEnabled());  // the run finished
    EXPECT_TRUE(uploadFinished);

    // The next click offers to empty the queue instead of a run.
    answerWith = TModalResult::mrCancel;
    click(&UploadRun::btnUploadClick);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, u("上传队列中的文件已经上传，清空上传列表？"));
    EXPECT_EQ(queue.Count(), 1);
    answerWith = TModalResult::mrOk;
    click(&UploadRun::btnUploadClick);
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_FALSE(uploadFinished);
    EXPECT_EQ(site.requestsFor("postlist").size(), 1);
}

TEST_F(UploadRunTest, AnAnnouncementTheSiteRefusesOrThatFailsStartsNoConnection) {
    queue.AddLocalFile(make(QStringLiteral("a.txt"), "a"));
    replies["postlist"] = {200, "false|refused\r\n"};
    click(&UploadRun::btnUploadClick);
    EXPECT_EQ(spStatus1.text(), u("服务器连接失败..."));
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传文件"));
    EXPECT_TRUE(errors.isEmpty());

    replies["postlist"] = {500, "broken"};
    click(&UploadRun::btnUploadClick);
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传文件"));
    EXPECT_EQ(ftp.controlConnections(), 0);
    EXPECT_FALSE(postListAccepted);
}

TEST_F(UploadRunTest, APassiveFlagThatIsNoBooleanEndsTheClickBeforeAnyConnection) {
    queue.AddLocalFile(make(QStringLiteral("a.txt"), "a"));
    settings.FtpPassive = "maybe";
    click(&UploadRun::btnUploadClick);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "'maybe' is not a valid boolean value");
    EXPECT_EQ(ftp.controlConnections(), 0);
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传文件"));
}

TEST_F(UploadRunTest, AnEmptyQueueOffersTheOpenDialogAndPostsNothing) {
    answerWith = TModalResult::mrOk;
    chosenFiles = {make(QStringLiteral("late.txt"), "late")};
    click(&UploadRun::btnUploadClick);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, u("请选择本地文件进行上传"));
    EXPECT_EQ(messages[0].buttons, TMsgDlgButtons::mbOKCancel);
    EXPECT_EQ(openDialogs, 1);
    EXPECT_EQ(queue.Count(), 1);
    EXPECT_EQ(pages.currentWidget(), &task);
    EXPECT_TRUE(site.requests().isEmpty());
    EXPECT_EQ(spStatus1.text(), u("服务器连接失败..."));
    EXPECT_EQ(ftp.controlConnections(), 0);
}

TEST_F(UploadRunTest, OnlyTheAnnouncementOfTheSameClickStartsARun) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    queue.AddLocalFile(a);
    pressUpload();
    ASSERT_EQ(commandsOf("STOR"), QList<QByteArray>{"STOR " + remoteName(a)});
    commands.N6Click();  // "清空列表"

    // An empty queue: the open dialog adds a file; nothing was announced,
    // so no run starts.
    const QString late = make(QStringLiteral("late.txt"), "late");
    chosenFiles = {late};
    pressUpload();
    EXPECT_EQ(openDialogs, 1);
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(spStatus1.text(), u("服务器连接失败..."));
    // The site refuses the announcement, then the post fails.
    replies["postlist"] = {200, "false|refused\r\n"};
    pressUpload();
    EXPECT_EQ(spStatus1.text(), u("服务器连接失败..."));
    replies["postlist"] = {500, "broken"};
    pressUpload();
    EXPECT_EQ(errors.size(), 1);

    EXPECT_EQ(site.requestsFor("postlist").size(), 3);
    EXPECT_EQ(ftp.controlConnections(), 1);  // the first run's only
    EXPECT_EQ(commandsOf("STOR").size(), 1);
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_EQ(queue.Status(0), QueueStatus::Queued());
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_EQ(btnUpload.text(), u("上传文件"));
}

TEST_F(UploadRunTest, TheDebugLogHasFourLinesPerCompletionWhileMarkerAndFlagAreSet) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    queue.AddLocalFile(a);
    const QString log = dir.filePath(QStringLiteral("debug.txt"));

    session.DebugLogEnabled = true;  // without the marker: nothing
    click(&UploadRun::btnUploadClick);
    EXPECT_FALSE(QFile::exists(log));

    WriteFileBytes(dir.filePath(QStringLiteral("quellix.debug")), "");
    session.DebugLogEnabled = false;  // marker without the flag: nothing
    uploadFinished = false;
    click(&UploadRun::btnUploadClick);
    EXPECT_FALSE(QFile::exists(log));

    session.DebugLogEnabled = true;
    uploadFinished = false;
    click(&UploadRun::btnUploadClick);
    const QList<QByteArray> lines = ReadFileBytes(log).split('\n');
    QList<QByteArray> requests;
    for (const QByteArray& line : lines)
        if (line.startsWith("Request "))
            requests.append(line.trimmed());
    EXPECT_EQ(requests, (QList<QByteArray>{"Request OpenAsync Done.", "Request UserAsync Done.",
                                           "Request PassAsync Done.", "Request CwdAsync Done.",
                                           "Request TypeSetAsync Done.", "Request SizeAsync Done.",
                                           "Request PutAsync Done.", "Request QuitAsync Done."}));
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0].trimmed(), "Request OpenAsync Done.");
    EXPECT_EQ(lines[1].trimmed(), "StatusCode = 220");
    EXPECT_EQ(lines[2].trimmed(), "LastResponse was : '220 Scripted FTP server ready'");
    EXPECT_EQ(lines[3].trimmed(), "###-------------------");
}

TEST_F(UploadRunTest, AResumeReplyReplacesTheQueueWithRowsWaitingToBeResumed) {
    queue.AddLocalFile(make(QStringLiteral("old.txt"), "x"));
    uploadFinished = true;
    replies["resume"] = {200, "resume\r\na.txt|1234|/home/u/\r\n报告.doc|5|/数据/\r\nx>y.txt|1|/f/\r\n"_gbk};
    RunGuarded([&] { registration.N24Click(); });
    EXPECT_EQ(site.requestsFor("resume")[0].body, "action=resume&username=alice&password=TOK");
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.FileName(0), "a.txt");
    EXPECT_EQ(lv2.SubItem(0, QueueColumn::Size), "1.21KB");
    EXPECT_EQ(queue.FolderPath(0), "/home/u/");
    EXPECT_EQ(queue.Status(0), QueueStatus::ToResume());
    EXPECT_EQ(queue.FileName(1), u("报告.doc"));
    EXPECT_EQ(queue.FolderPath(1), u("/数据/"));
    EXPECT_FALSE(uploadFinished);
    ASSERT_EQ(messages.size(), 1);  // the name the list cannot carry
    EXPECT_EQ(messages[0].text, UnsupportedNameMessage({"x>y.txt"}));
    EXPECT_EQ(pages.currentIndex(), 0);  // the page does not change

    replies["resume"] = {200, "resume\r\n"};
    RunGuarded([&] { registration.N24Click(); });
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(spStatus1.text(), u("提示:暂无待续传文件"));
}

TEST_F(UploadRunTest, ABadResumeLineKeepsTheRowsBeforeItAndIsReported) {
    replies["resume"] = {200, "resume\r\na.txt|1|/f/\r\nb.txt|1|\r\nc.txt|1|/f/\r\n"};
    RunGuarded([&] { registration.N24Click(); });
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "List index out of bounds (2)");
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.FileName(0), "a.txt");

    replies["resume"] = {200, "resume\r\nd.txt|big|/f/\r\n"};
    RunGuarded([&] { registration.N24Click(); });
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[1], "'big' is not a valid integer value");
    EXPECT_EQ(queue.Count(), 0);

    replies["resume"] = {200, ""};  // no line at all
    RunGuarded([&] { registration.N24Click(); });
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[2], "List index out of bounds (0)");
}

TEST_F(UploadRunTest, UpdateIsPostedAlsoForAnEmptyQueueAndOtherRepliesAreIgnored) {
    RunGuarded([&] { registration.N23Click(); });
    EXPECT_EQ(site.requestsFor("update").size(), 1);
    EXPECT_EQ(spStatus1.text(), u("提示:上传文件入库成功"));
    replies["update"] = {200, "later\r\n"};
    spStatus1.clear();
    RunGuarded([&] { registration.N23Click(); });
    EXPECT_EQ(spStatus1.text(), "");
    replies["update"] = {404, "update\r\n"};  // dropped without a message; Post raises for 404
    RunGuarded([&] { registration.N23Click(); });
    EXPECT_EQ(spStatus1.text(), "");
    EXPECT_EQ(errors.size(), 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(UploadRunTest, AStoreCutTwiceIsRetriedAndTheRowEndsUploaded) {
    QByteArray content(64 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919) >> 8);
    const QString big = make(QStringLiteral("big.bin"), content);
    run.RetryDelaysMs = {10, 20, 40};
    // The data connection cut twice in the middle; the control connection
    // cut twice right after STOR went out.
    const QList<QStringList> plans = {
        {QStringLiteral("--faults-on"), QStringLiteral("data"), QStringLiteral("--at"), QStringLiteral("20M,40M")},
        {QStringLiteral("--faults-on"), QStringLiteral("control"), QStringLiteral("--after-text"),
         QStringLiteral("STOR "), QStringLiteral("--after-text"), QStringLiteral("STOR ")},
    };
    for (const QStringList& plan : plans) {
        PyFtpServer server("uploader", "pw");
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        QDir(server.home()).mkdir(QStringLiteral("up"));
        FaultProxy proxy(server.port(), QStringList{QStringLiteral("--ftp"), QStringLiteral("--count"),
                                                    QStringLiteral("up")} + plan);
        ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
        settings.FtpPort = QByteArray::number(proxy.port());
        queue.Clear();
        uploadFinished = false;
        statuses.clear();
        queue.AddLocalFile(big);

        click(&UploadRun::btnUploadClick);

        ASSERT_TRUE(WaitFor([&] { return queue.Status(0) != QueueStatus::Uploading(); }, 60000));
        EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
        EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(big)))) ==
                    content);
        // Cuts after bytes went out are followed at once; cuts before any
        // byte wait, longer each time.
        if (plan.contains(QStringLiteral("data"))) {
            EXPECT_EQ(statuses.count(u("【big.bin】连接中断，重新连接中...")), 2);
        } else {
            EXPECT_TRUE(statuses.contains(u("【big.bin】连接中断，0.01秒后第1次重试...")));
            EXPECT_TRUE(statuses.contains(u("【big.bin】连接中断，0.02秒后第2次重试...")));
        }
        EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
        EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    }
}

TEST_F(UploadRunTest, AStoreRefusedFor550FailsAtOnceAndPauseOrCancelStopAPendingRetry) {
    const QString a = make(QStringLiteral("a.txt"), "aaaa");
    queue.AddLocalFile(a);
    run.RetryDelaysMs = {50};
    ftp.replies["STOR"] = "550 Permission denied.\r\n";
    click(&UploadRun::btnUploadClick);
    EXPECT_EQ(queue.Status(0), QueueStatus::Failed());
    EXPECT_EQ(ftp.controlConnections(), 1);
    click(&UploadRun::btnCancelClick);

    // A transient refusal schedules a retry; pausing or cancelling in its
    // wait means no further connection, and the row says what became of it.
    ftp.replies["STOR"] = "426 Connection closed; transfer aborted.\r\n";
    for (const auto& stop : {&UploadRun::btnAbortClick, &UploadRun::btnCancelClick}) {
        queue.Clear();
        queue.AddLocalFile(a);
        const int connections = ftp.controlConnections();
        click(&UploadRun::btnUploadClick);
        EXPECT_EQ(spStatus1.text(), u("【a.txt】连接中断，0.05秒后第1次重试..."));
        click(stop);
        WaitFor([] { return false; }, 300);  // well past the retry's time
        EXPECT_EQ(ftp.controlConnections(), connections + 1);
        EXPECT_EQ(queue.Status(0), stop == &UploadRun::btnAbortClick ? QueueStatus::ToResume() : QueueStatus::Failed());
    }
}

// ---- Faults on the retry, TLS and registration paths ------------------------------------

class UploadFaultTest : public UploadRunTest {
protected:
    UploadFaultTest() {
        run.ftp1.Timeout = 1;
        run.RetryDelaysMs = {10, 20, 40};
        big = make(QStringLiteral("a.bin"), bigContent());
        small = make(QStringLiteral("b.txt"), QByteArray(3000, 'b'));
    }
    static QByteArray bigContent() {
        QByteArray content(1500000, Qt::Uninitialized);
        for (qsizetype i = 0; i < content.size(); ++i)
            content[i] = char((i * 7919) >> 7);
        return content;
    }
    // Waits until the run has let go of every row it took: no row is
    // "上传中..." (a row waiting for its retry still is).
    bool waitForRest(int timeoutMs = 15000) {
        return WaitFor(
            [&] {
                for (int row = 0; row < queue.Count(); ++row)
                    if (queue.Status(row) == QueueStatus::Uploading())
                        return false;
                return true;
            },
            timeoutMs);
    }
    QList<QByteArray> logIn() const { return {"AUTH TLS", "USER uploader", "PASS pw", "CWD /up/", "TYPE I"}; }
    QList<QByteArray> sent(const QString& path) {
        return {"SIZE " + remoteName(path), "PASV", "STOR " + remoteName(path)};
    }

    QString big, small;
};

// A reconnect whose server never greets times out like any broken try:
// the run connects once more, sends the file and goes on.
TEST_F(UploadFaultTest, AReconnectWhoseServerNeverGreetsIsTriedAgainAndTheRunGoesOn) {
    queue.AddLocalFiles({big, small});
    ftp.greetingOf[2] = "";
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb != "STOR" || s.controlConnections() != 1)
            return false;
        s.send("426 Connection closed; transfer aborted.\r\n");
        return true;
    };

    pressUpload();

    ASSERT_TRUE(waitForRest());
    EXPECT_EQ(ftp.controlConnections(), 3);
    EXPECT_TRUE(ftp.commandsOn(2).isEmpty());
    EXPECT_EQ(ftp.commandsOn(3), logIn() + sent(big) + sent(small) + QList<QByteArray>{"QUIT"});
    EXPECT_TRUE(ftp.stored() == QByteArray(3000, 'b'));
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
    EXPECT_EQ(queue.Status(1), QueueStatus::Succeeded());
    EXPECT_TRUE(statuses.contains(u("【a.bin】连接中断，0.01秒后第1次重试...")));
    EXPECT_TRUE(statuses.contains(u("【a.bin】连接中断，0.02秒后第2次重试...")));
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// "451" to REST: never a STOR from the offset, which the server would write
// as the whole file. The try is repeated under the retry rules.
TEST_F(UploadFaultTest, ARefusedRestIsTriedAgainAndNeverFollowedByAStorFromTheOffset) {
    queue.AddLocalFile(big);
    ftp.replies["SIZE"] = "213 700000\r\n";
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb != "REST" || s.controlConnections() != 1)
            return false;
        s.send("451 Requested action aborted: local error in processing.\r\n");
        return true;
    };
    pressUpload();
    ASSERT_TRUE(waitForRest());
    const QList<QByteArray> resumed{"SIZE " + remoteName(big), "PASV", "REST 700000"};
    EXPECT_EQ(ftp.commandsOn(1), logIn() + resumed);
    EXPECT_EQ(ftp.commandsOn(2), logIn() + resumed + QList<QByteArray>({"STOR " + remoteName(big), "QUIT"}));
    EXPECT_TRUE(ftp.stored() == bigContent().mid(700000));
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());

    // A server that keeps refusing: the row fails once the retries are
    // used up, and no STOR ever went out.
    queue.Clear();
    uploadFinished = false;
    queue.AddLocalFile(big);
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb == "REST")
            s.send("451 Requested action aborted: local error in processing.\r\n");
        return verb == "REST";
    };
    const int before = ftp.controlConnections();
    pressUpload();
    ASSERT_TRUE(waitForRest());
    EXPECT_EQ(ftp.controlConnections(), before + 4);
    for (int connection = before + 1; connection <= ftp.controlConnections(); ++connection)
        EXPECT_EQ(ftp.commandsOn(connection), logIn() + resumed) << connection;
    EXPECT_EQ(queue.Status(0), QueueStatus::Failed());
    EXPECT_EQ(spStatus1.text(), u("【a.bin】上传失败：451 Requested action aborted: local error in processing."));
    EXPECT_EQ(site.requestsFor("update").size(), 2);  // the first run's only
}

// A server that took TLS refuses AUTH TLS on the reconnect of a retry. A
// 4xx refusal fails that try only (the next one gets TLS); a 5xx refusal
// fails the row. Never do the password and the file go in plain text, as
// the server (which offers TLS but does not insist) would take them.
TEST_F(UploadFaultTest, AServerThatTookTlsNeverGetsThePasswordInPlainTextOnAReconnect) {
    const QString cert = dir.filePath(QStringLiteral("cert.pem")), key = dir.filePath(QStringLiteral("key.pem"));
    QString error;
    ASSERT_TRUE(MakeSelfSignedCertificate(cert, key, error)) << error.toStdString();
    ASSERT_EQ(run.ftp1.AddTrustedCertificates(cert), 1);
    run.ftp1.Timeout = 10;
    settings.FtpHost = "localhost";
    queue.AddLocalFile(small);
    const QList<QByteArray> tlsLogIn{"AUTH TLS", "USER uploader", "PASS pw", "PBSZ 0", "PROT P", "CWD /up/", "TYPE I"};
    const QList<QByteArray> send = sent(small);
    for (const QByteArray& refusal : {QByteArray("431 Unable to accept security mechanism."),
                                      QByteArray("500 AUTH not understood.")}) {
        PyFtpServer server("uploader", "pw",
                           {QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), key,
                            QStringLiteral("--reply"), QStringLiteral("1:STOR:426 Transfer aborted."),
                            QStringLiteral("--reply"), QStringLiteral("2:AUTH:") + QString::fromLatin1(refusal)});
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        QDir(server.home()).mkdir(QStringLiteral("up"));
        settings.FtpPort = QByteArray::number(server.port());
        queue.SetStatus(0, QueueStatus::Queued());
        uploadFinished = false;

        pressUpload();

        ASSERT_TRUE(waitForRest()) << refusal.constData();
        const bool transient = refusal.startsWith('4');
        QList<QByteArray> expected = tlsLogIn + send + QList<QByteArray>{"AUTH TLS"};
        if (transient)
            expected += tlsLogIn + send + QList<QByteArray>{"QUIT"};
        EXPECT_EQ(server.commands(), expected) << refusal.constData();
        const QByteArray stored =
            ReadFileBytes(server.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(small))));
        EXPECT_EQ(stored, transient ? QByteArray(3000, 'b') : QByteArray()) << refusal.constData();
        EXPECT_EQ(queue.Status(0), transient ? QueueStatus::Succeeded() : QueueStatus::Failed());
        if (!transient) {
            EXPECT_EQ(spStatus1.text(), u("【b.txt】上传失败：534 TLS required, this server used TLS before, but it "
                                          "refused AUTH TLS: 500 AUTH not understood."));
        }
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// "update" refused, unanswered or answered otherwise: the files are on the
// FTP server but not in the disk. The status line says so, and the queue is
// not taken for uploaded, so that the next run registers it.
TEST_F(UploadFaultTest, ARegistrationTheSiteDoesNotConfirmIsShownAsAFailure) {
    registration.HttpPostFL.Timeout = 1;
    struct Case {
        FakeReply reply;
        QString shown;
    };
    FakeReply silent;
    silent.silent = true;
    const Case cases[] = {{{500, "error\r\n"}, u("上传文件入库失败：HTTP 500")},
                          {silent, u("上传文件入库失败：请求超时")},
                          {{200, "false|busy\r\n"}, u("上传文件入库失败：站点回复“false|busy”")}};
    for (const Case& c : cases) {
        queue.Clear();
        queue.AddLocalFile(small);
        replies["update"] = c.reply;
        const qsizetype updates = site.requestsFor("update").size();

        pressUpload();

        ASSERT_TRUE(waitForRest());
        // A post that gave up has its completion still to come.
        ASSERT_TRUE(WaitFor([&] { return !registration.HttpPostFL.IsBusy(); }));
        EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
        EXPECT_EQ(spStatus1.text(), c.shown);
        EXPECT_FALSE(statuses.contains(u("全部文件上传成功")));
        EXPECT_EQ(site.requestsFor("update").size(), updates + 1);  // not asked twice
        EXPECT_FALSE(uploadFinished);
        EXPECT_TRUE(btnUpload.isEnabled());
        EXPECT_EQ(btnUpload.text(), u("上传文件"));
        EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    }
    // The site takes them now: the next click announces, sends and
    // registers the queue again.
    replies.remove("update");
    pressUpload();
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_TRUE(uploadFinished);
}

// "暂停" while the reconnect of a retry resolves the server's name: nothing
// more goes out. "取消" while a reconnect waits for a greeting that never
// comes: the row fails at once instead of staying "上传中...".
TEST_F(UploadFaultTest, PauseOrCancelDuringAReconnectStopsIt) {
    queue.AddLocalFile(small);
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb == "STOR")
            s.send("426 Connection closed; transfer aborted.\r\n");
        return verb == "STOR";
    };
    int lookups = 0;
    run.ftp1.OnStateChange = [&](TFtpClient&, TFtpState, TFtpState to) {
        if (to == ftpDnsLookup && ++lookups == 2)
            QTimer::singleShot(0, &btnAbort, [&] { click(&UploadRun::btnAbortClick); });
    };
    pressUpload();
    ASSERT_TRUE(waitForRest());
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(queue.Status(0), QueueStatus::ToResume());
    EXPECT_EQ(spStatus1.text(), u("文件上传已暂停"));
    EXPECT_FALSE(WaitFor([&] { return ftp.controlConnections() > 1; }, 1000));

    queue.Clear();
    queue.AddLocalFile(small);
    ftp.greetingOf[3] = "";
    run.ftp1.OnStateChange = [&](TFtpClient&, TFtpState, TFtpState to) {
        if (to == ftpWaitingBanner && ftp.controlConnections() == 2)
            QTimer::singleShot(0, &btnCancel, [&] { click(&UploadRun::btnCancelClick); });
    };
    pressUpload();
    ASSERT_TRUE(WaitFor([&] { return queue.Status(0) != QueueStatus::Uploading(); }, 5000));
    EXPECT_EQ(queue.Status(0), QueueStatus::Failed());
    EXPECT_EQ(spStatus1.text(), u("文件上传已取消"));
    EXPECT_FALSE(btnCancel.isEnabled());
    EXPECT_FALSE(btnAbort.isEnabled());
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_FALSE(WaitFor([&] { return ftp.controlConnections() > 3; }, 1000));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// The row waiting for its retry, and the row whose store is refused while
// it is being sent, are deleted by the user: both are passed over and the
// run goes on to the end.
TEST_F(UploadFaultTest, ARowDeletedWhileItWaitsForARetryOrIsBeingSentIsPassedOver) {
    const QString c = make(QStringLiteral("c.txt"), "ccc");
    queue.AddLocalFiles({big, small, c});
    run.RetryDelaysMs = {200};
    const auto deleteRow = [&](const QString& name) {
        for (int row = 0; row < queue.Count(); ++row)
            lv2.SetChecked(row, queue.FileName(row) == name);
        commands.N5Click();
    };
    window.OnStatusText = [&](const QString& text) {
        statuses.append(text);
        if (text.startsWith(u("【a.bin】连接中断")))
            QTimer::singleShot(0, &lv2, [&] { deleteRow(QStringLiteral("a.bin")); });
    };
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray& argument) {
        if (verb != "STOR" || argument == remoteName(c))
            return false;
        if (argument == remoteName(small))
            deleteRow(QStringLiteral("b.txt"));
        s.send("426 Connection closed; transfer aborted.\r\n");
        return true;
    };

    pressUpload();

    // While the retry waits no row is being sent: the end shows on the
    // button, given back when the run has passed the last row.
    ASSERT_TRUE(WaitFor([&] { return btnUpload.isEnabled(); }, 15000));
    EXPECT_EQ(ftp.controlConnections(), 2);
    EXPECT_EQ(ftp.commandsOn(2), logIn() + sent(small) + sent(c) + QList<QByteArray>{"QUIT"});
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
    EXPECT_EQ(ftp.stored(), "ccc");
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_TRUE(btnUpload.isEnabled());
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// "226" before the file went out, then the control connection closed in
// good order: the server holds a part, so the store is tried again.
TEST_F(UploadFaultTest, AConfirmationBeforeTheWholeFileWentOutIsNoCompleteStore) {
    queue.AddLocalFile(big);
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb != "STOR" || s.controlConnections() != 1)
            return false;
        s.send("150 Ok to send data.\r\n226 Transfer complete.\r\n");
        s.control()->close();
        return true;
    };

    pressUpload();

    ASSERT_TRUE(waitForRest());
    EXPECT_EQ(ftp.controlConnections(), 2);
    EXPECT_EQ(ftp.commandsOn(2), logIn() + sent(big) + QList<QByteArray>{"QUIT"});
    EXPECT_TRUE(ftp.stored() == bigContent());
    EXPECT_EQ(queue.Status(0), QueueStatus::Succeeded());
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
}

// A store that cannot even start (here: active mode with no port to listen
// on) fails its row with the reason, and the run comes to rest.
TEST_F(UploadFaultTest, AStoreThatCannotStartFailsItsRowWithTheReason) {
    queue.AddLocalFiles({small, big});
    settings.FtpPassive = "0";
    run.ftp1.DataPortRangeStart = 2000;
    run.ftp1.DataPortRangeEnd = 1000;

    pressUpload();

    ASSERT_TRUE(waitForRest(5000));
    EXPECT_EQ(queue.Status(0), QueueStatus::Failed());
    EXPECT_EQ(queue.Status(1), QueueStatus::Queued());
    EXPECT_EQ(ftp.commands(), logIn() + QList<QByteArray>{"SIZE " + remoteName(small)});
    EXPECT_EQ(spStatus1.text(), u("【b.txt】上传失败：DataPortRangeEnd must be greater than DataPortRangeStart"));
    EXPECT_TRUE(btnCancel.isEnabled());
    EXPECT_TRUE(site.requestsFor("update").isEmpty());
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// One file at a time, the next file's SIZE goes out while a file is sent. A
// server that answers it only after the store's 226 (as vsftpd does; the
// scripted server otherwise answers at once, as pyftpdlib does), or with
// 213 for a file it holds: the dialogue is the plain one, and the answers
// are read right.
TEST_F(UploadFaultTest, TheNextSizeSentDuringAStoreIsReadRightWhicheverOrderItsAnswerComes) {
    const QString c = make(QStringLiteral("c.txt"), QByteArray(5000, 'c'));
    queue.AddLocalFiles({big, small, c});
    bool storing = false;
    QList<QByteArray> held;
    ftp.onCommand = [&](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray& argument) {
        if (verb == "STOR")
            storing = true;
        if (verb != "SIZE" || !storing)
            return false;
        held.append(argument == remoteName(c) ? "213 5000\r\n" : "550 No such file.\r\n");
        Q_UNUSED(s);
        return true;
    };
    ftp.onStoreEnd = [&](ScriptedFtpServer& s) {
        storing = false;
        s.sendFinalReply();
        s.closeData();
        for (const QByteArray& reply : std::exchange(held, {}))
            s.send(reply);
    };

    pressUpload();

    ASSERT_TRUE(waitForRest());
    const QList<QByteArray> plain = logIn() + sent(big) + sent(small) + QList<QByteArray>{"SIZE " + remoteName(c), "QUIT"};
    EXPECT_EQ(ftp.commands(), plain);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(queue.Status(row), QueueStatus::Succeeded()) << row;
    EXPECT_TRUE(statuses.contains(u("【c.txt】 已存在，跳过此文件")));
    EXPECT_EQ(spStatus1.text(), u("全部文件上传成功"));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

}  // namespace

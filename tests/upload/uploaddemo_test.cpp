// Uploads end to end: the program's windows offscreen, logged in to the demo
// site, sending to its real FTP server (pyftpdlib). Each test starts its own
// site, so that the files the site has been told about and the files on its
// FTP server are the test's own. The checks read the bytes on the server,
// the site's request log (exact bodies) and the FTP server's dialogue log.

#include "app/Main.h"
#include "app/program.h"
#include "disk/gui/folderlisting.h"
#include "login/gui/uLogin.h"
#include "platform/helperlib.h"
#include "config/transferoptions.h"
#include "support/demosite.h"
#include "support/nginxserver.h"
#include "support/testutil.h"
#include "text/gbk.h"
#include "upload/filelist.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray RandomBytes(qint64 size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

struct FtpLogLine {
    int session = 0;
    bool fromClient = false;
    QByteArray line;
};

class UploadDemoTest : public testing::Test {
protected:
    virtual QStringList siteOptions() { return {QStringLiteral("--big-file-mib"), QStringLiteral("1")}; }
    virtual int parallelUploads() { return 1; }
    void SetUp() override {
        site = std::make_unique<DemoSite>(siteOptions());
        ASSERT_TRUE(site->isRunning()) << site->errorText().toStdString();
        ASSERT_TRUE(site->writeSiteConfig(programDir.path()));
        ASSERT_TRUE(QDir().mkpath(localFolder()));
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
        // One file at a time: these tests read the one session's dialogue.
        TransferOptions options;
        options.parallelUploads = parallelUploads();
        ASSERT_TRUE(WriteTransferOptions(LocalFiles(programDir.path()), options));
        program = std::make_unique<QuellixProgram>(programDir.path(), [this](const MsgDlgMessage& m) {
            messages.append(m);
            return answerWith;
        });
        program->Start();
    }
    void TearDown() override {
        program.reset();
        SetErrorReportSink(nullptr);
    }

    TMainFrm& main() { return *program->MainFrm; }
    UploadQueue& queue() { return main().Queue(); }

    // Logs in as `name` and waits for the settings and the root listing.
    void login(const QString& name = QStringLiteral("demo")) {
        account = site->account(name);
        TLoginFrm& login = *program->LoginFrm;
        login.ED_User->setText(account.name);
        login.ED_Pwd->setText(account.password);
        QTest::mouseClick(login.btnLogin, Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return main().isVisible(); }, 20000));
        ASSERT_TRUE(WaitFor(
            [&] {
                return main().HttpLoadSet.ReceiveStream == nullptr && !main().SiteSettings.FtpHost.isEmpty() &&
                       main().Browser().HttpMydisk.ReceiveStream == nullptr && main().lv1->Count() > 0;
            },
            20000));
        main().PageControl1->setCurrentWidget(main().PCTask);
        main().UploadUi().OnStatusText = [this](const QString& text) { statuses.append(text); };
    }
    // Clicks the remote folder `name` in the listing, so that uploads go
    // there; gives its id.
    int openTargetFolder(const QString& name) {
        TListView& lv1 = *main().lv1;
        for (int row = 0; row < lv1.Count(); ++row) {
            if (IsFolderRow(lv1, row) && lv1.Caption(row) == name) {
                lv1.SetSelected(row, true);
                main().Browser().lv1Click();
                return main().Browser().CurrentFolderId;
            }
        }
        ADD_FAILURE() << "no folder " << name.toStdString();
        return 0;
    }

    QString localFolder() const { return localDir.filePath(u("本地 文件")) + QStringLiteral("/"); }
    QString local(const QString& name, const QByteArray& bytes) {
        WriteFileBytes(localFolder() + name, bytes);
        return localFolder() + name;
    }
    // Adds files through "添加文件" with the open dialog answering.
    void addFiles(const QStringList& paths) {
        main().QueueCommands().spOpenDlg = [paths](QWidget*) { return paths; };
        QTest::mouseClick(main().BtnSelFile2, Qt::LeftButton);
    }
    void clickUpload() { QTest::mouseClick(main().btnUpload, Qt::LeftButton); }

    QByteArray remoteName(const QString& path) { return RemoteFileName(ToGbk(path), FileSizeByName(path)); }
    QByteArray entry(const QString& path) {
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        return FileListEntry(ToGbk(name), ToGbk(localFolder()), FileSizeByName(path));
    }
    // The account's upload folder on the FTP server and its disk folders.
    QString incoming(const QByteArray& remote) const {
        return site->dataDir() + QStringLiteral("/ftp/") + account.ftpUser + QString::fromUtf8(site->ftpDir()) +
               QString::fromLatin1(remote);
    }
    QString onDisk(const QString& folder, const QString& name) const {
        return site->dataDir() + QStringLiteral("/disk/") + account.name + QStringLiteral("/") + folder +
               QStringLiteral("/") + name;
    }

    QList<LoggedRequest> requestsFor(const QByteArray& action) const {
        QList<LoggedRequest> found;
        for (const LoggedRequest& r : site->requests())
            if (r.body.startsWith("action=" + action + "&"))
                found.append(r);
        return found;
    }
    QList<FtpLogLine> ftpLog() const {
        QList<FtpLogLine> lines;
        QFile file(site->ftpLogPath());
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        while (!file.atEnd()) {
            const QJsonObject o = QJsonDocument::fromJson(file.readLine()).object();
            if (!o.isEmpty())
                lines.append({o.value(QStringLiteral("session")).toInt(),
                              o.value(QStringLiteral("dir")).toString() == QStringLiteral("in"),
                              o.value(QStringLiteral("line")).toString().toUtf8()});
        }
        return lines;
    }
    QList<int> ftpSessions() const {
        QList<int> sessions;
        for (const FtpLogLine& l : ftpLog())
            if (!sessions.contains(l.session))
                sessions.append(l.session);
        return sessions;
    }
    // What the client sent in one session (the last one by default).
    QList<QByteArray> ftpCommands(int session = -1) const {
        const QList<int> sessions = ftpSessions();
        if (session < 0)
            session = sessions.isEmpty() ? 0 : sessions.last();
        QList<QByteArray> commands;
        for (const FtpLogLine& l : ftpLog())
            if (l.session == session && l.fromClient)
                commands.append(l.line);
        return commands;
    }
    QByteArray replyTo(const QByteArray& command, int session) const {
        bool next = false;
        for (const FtpLogLine& l : ftpLog()) {
            if (l.session != session)
                continue;
            if (next && !l.fromClient)
                return l.line;
            next = l.fromClient && l.line == command;
        }
        return QByteArray();
    }
    // The log-in commands of a run followed by `rest`.
    QList<QByteArray> loggedIn(const QList<QByteArray>& rest) const {
        return QList<QByteArray>{"AUTH TLS", "USER " + account.ftpUser.toUtf8(), "PASS " + account.ftpPassword.toUtf8(),
                                 "CWD " + site->ftpDir(), "TYPE I"} +
               rest;
    }
    QString rowStatus(int row) { return queue().Status(row); }

    std::unique_ptr<DemoSite> site;
    QTemporaryDir programDir;
    QTemporaryDir localDir;
    std::unique_ptr<QuellixProgram> program;
    DemoAccount account;
    QList<MsgDlgMessage> messages;
    QList<QByteArray> errors;
    QStringList statuses;
    TModalResult answerWith = TModalResult::mrOk;
};

TEST_F(UploadDemoTest, ThreeFilesOneSentOneSkippedOneContinuedThenAnnouncedAndRegistered) {
    login();
    const int folderId = openTargetFolder(u("空文件夹"));
    ASSERT_GT(folderId, 0);
    const QByteArray oneBytes = RandomBytes(100000, 1), twoBytes = RandomBytes(200000, 2),
                     threeBytes = RandomBytes(300001, 3);
    const QString one = local(QStringLiteral("one.bin"), oneBytes);
    const QString two = local(u("第二 file.DAT"), twoBytes);
    const QString three = local(QStringLiteral("three.bin"), threeBytes);
    // The server already holds the second file whole and the third in part.
    WriteFileBytes(incoming(remoteName(two)), twoBytes);
    WriteFileBytes(incoming(remoteName(three)), threeBytes.left(123456));
    addFiles({one, two, three});
    ASSERT_EQ(queue().Count(), 3);
    EXPECT_EQ(main().PageControl1->currentWidget(), main().PCTask);

    clickUpload();

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    const QByteArray token = program->LoginFrm->Session().AccountToken;
    const QList<LoggedRequest> postlists = requestsFor("postlist");
    ASSERT_EQ(postlists.size(), 1);
    EXPECT_EQ(postlists[0].body, "action=postlist&fl=" + entry(one) + entry(two) + entry(three) + "&folder_id=" +
                                     QByteArray::number(folderId) + "&username=demo&password=" + token);
    EXPECT_EQ(postlists[0].path, "/plugins/quellix_client/client_sub.php");
    const QList<LoggedRequest> updates = requestsFor("update");
    ASSERT_EQ(updates.size(), 2);
    EXPECT_EQ(updates[0].body, "action=update&username=demo&password=" + token);
    EXPECT_EQ(updates[1].body, updates[0].body);

    EXPECT_EQ(ftpSessions().size(), 1);
    EXPECT_EQ(ftpCommands(), loggedIn({"SIZE " + remoteName(one), "PASV", "STOR " + remoteName(one), "SIZE " + remoteName(two),
                                       "SIZE " + remoteName(three), "PASV", "REST 123456", "STOR " + remoteName(three),
                                       "QUIT"}));
    EXPECT_TRUE(statuses.contains(u("【第二 file.DAT】 已存在，跳过此文件")));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(rowStatus(row), QueueStatus::Succeeded()) << row;
    EXPECT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
    EXPECT_TRUE(main().btnUpload->isEnabled());
    EXPECT_EQ(main().btnUpload->text(), u("上传文件"));
    EXPECT_FALSE(main().btnAbort->isEnabled());
    EXPECT_FALSE(main().btnCancel->isEnabled());
    EXPECT_EQ(main().pb1->value(), 100);

    // "update" took the three files into the folder that was open.
    EXPECT_EQ(ReadFileBytes(onDisk(u("空文件夹"), QStringLiteral("one.bin"))), oneBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(u("空文件夹"), u("第二 file.DAT"))), twoBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(u("空文件夹"), QStringLiteral("three.bin"))), threeBytes);
    // A refresh lists them.
    main().N25->trigger();
    ASSERT_TRUE(WaitFor([&] { return main().Browser().HttpMydisk.ReceiveStream == nullptr && main().lv1->Count() == 3; },
                        20000));
    QStringList listed;
    for (int row = 0; row < main().lv1->Count(); ++row)
        listed.append(main().lv1->Caption(row));
    EXPECT_EQ(listed, (QStringList{QStringLiteral("one.bin"), QStringLiteral("three.bin"), u("第二 file.DAT")}));

    // The queue has been uploaded whole: the next click offers to empty it.
    answerWith = TModalResult::mrCancel;
    clickUpload();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, u("上传队列中的文件已经上传，清空上传列表？"));
    EXPECT_EQ(messages[0].type, TMsgDlgType::mtInformation);
    EXPECT_EQ(queue().Count(), 3);
    answerWith = TModalResult::mrOk;
    clickUpload();
    EXPECT_EQ(queue().Count(), 0);
    EXPECT_FALSE(main().UploadFinished);
    EXPECT_EQ(requestsFor("postlist").size(), 1);
}

TEST_F(UploadDemoTest, AMissingFileIsAnnouncedAndSkippedAndAChangedFileGetsANewRemoteName) {
    login();
    const QString gone = local(QStringLiteral("gone.txt"), "soon gone");
    const QString changed = local(QStringLiteral("changed.txt"), "first version");
    const QString after = local(QStringLiteral("after.txt"), RandomBytes(5000, 9));
    addFiles({gone, changed, after});
    // The server holds the old version whole under its old name.
    const QByteArray oldName = remoteName(changed);
    WriteFileBytes(incoming(oldName), "first version");
    ASSERT_TRUE(QFile::remove(gone));
    const QByteArray newBytes = "the second, longer version";
    WriteFileBytes(changed, newBytes);
    const QByteArray newName = remoteName(changed);
    ASSERT_NE(newName, oldName);

    clickUpload();

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    const QList<LoggedRequest> postlists = requestsFor("postlist");
    ASSERT_EQ(postlists.size(), 1);
    EXPECT_TRUE(postlists[0].body.startsWith("action=postlist&fl=" + FileListEntry("gone.txt", ToGbk(localFolder()), -1) +
                                             entry(changed) + entry(after) + "&folder_id=0&"));
    EXPECT_EQ(ftpCommands(), loggedIn({"SIZE " + newName, "PASV", "STOR " + newName, "SIZE " + remoteName(after), "PASV",
                                       "STOR " + remoteName(after), "QUIT"}));
    EXPECT_EQ(rowStatus(0), QueueStatus::FileMissing());
    EXPECT_EQ(rowStatus(1), QueueStatus::Succeeded());
    EXPECT_EQ(rowStatus(2), QueueStatus::Succeeded());
    EXPECT_EQ(requestsFor("update").size(), 2);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("changed.txt"))), newBytes);
    EXPECT_EQ(ReadFileBytes(incoming(oldName)), "first version");  // the old one was never announced
}

class PauseTest : public UploadDemoTest {
protected:
    // Pauses the run (a click on "暂停") once the store of `remote` has
    // passed `threshold` bytes.
    void pauseDuring(const QByteArray& remote, qint64 threshold) {
        TFtpClient& ftp1 = main().Upload().ftp1;
        const auto original = ftp1.OnProgress64;
        ftp1.OnProgress64 = [this, original, remote, threshold](TFtpClient& sender, qint64 count, bool& abort) {
            original(sender, count, abort);
            if (!pauseClicked && sender.HostFileName == remote && count > threshold) {
                pauseClicked = true;
                QTimer::singleShot(0, main().btnAbort, [this] {
                    EXPECT_TRUE(main().btnAbort->isEnabled());
                    QTest::mouseClick(main().btnAbort, Qt::LeftButton);
                });
            }
        };
        restoreProgress = [&ftp1, original] { ftp1.OnProgress64 = original; };
    }
    void TearDown() override {
        if (restoreProgress)
            restoreProgress();
        UploadDemoTest::TearDown();
    }
    // Three files, the second large; the run is paused during the second.
    void uploadAndPause() {
        login();
        firstBytes = RandomBytes(70000, 11);
        bigBytes = RandomBytes(40 << 20, 12);
        thirdBytes = RandomBytes(30000, 13);
        first = local(QStringLiteral("first.bin"), firstBytes);
        big = local(QStringLiteral("big.bin"), bigBytes);
        third = local(QStringLiteral("third.bin"), thirdBytes);
        addFiles({first, big, third});
        pauseDuring(remoteName(big), bigBytes.size() / 4);
        clickUpload();
        ASSERT_TRUE(pauseClicked);
        EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    }

    bool pauseClicked = false;
    std::function<void()> restoreProgress;
    QByteArray firstBytes, bigBytes, thirdBytes;
    QString first, big, third;
};

TEST_F(PauseTest, PauseStopsTheRunAndANewRunSkipsTheFirstAndResumesTheSecond) {
    uploadAndPause();
    EXPECT_EQ(main().spStatus1->text(), u("文件上传已暂停"));
    EXPECT_TRUE(main().btnUpload->isEnabled());
    EXPECT_EQ(main().btnUpload->text(), u("上传文件"));
    EXPECT_FALSE(main().btnAbort->isEnabled());
    EXPECT_TRUE(main().btnCancel->isEnabled());  // the run came to rest unfinished
    EXPECT_EQ(rowStatus(0), QueueStatus::Succeeded());
    EXPECT_EQ(rowStatus(1), QueueStatus::ToResume());
    EXPECT_EQ(rowStatus(2), QueueStatus::Queued());
    EXPECT_TRUE(requestsFor("update").isEmpty());
    const int firstSession = ftpSessions().last();
    EXPECT_FALSE(ftpCommands(firstSession).contains("QUIT"));  // the connection was dropped

    clickUpload();

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    ASSERT_EQ(ftpSessions().size(), 2);
    const int second = ftpSessions().last();
    const QByteArray sizeReply = replyTo("SIZE " + remoteName(big), second);
    ASSERT_TRUE(sizeReply.startsWith("213 ")) << sizeReply.toStdString();
    const qint64 resumeAt = sizeReply.mid(4).toLongLong();
    EXPECT_GT(resumeAt, 0);
    EXPECT_LT(resumeAt, bigBytes.size());
    EXPECT_EQ(ftpCommands(second),
              loggedIn({"SIZE " + remoteName(first), "SIZE " + remoteName(big), "PASV",
                        "REST " + QByteArray::number(resumeAt), "STOR " + remoteName(big), "SIZE " + remoteName(third),
                        "PASV", "STOR " + remoteName(third), "QUIT"}));
    EXPECT_EQ(requestsFor("postlist").size(), 2);
    EXPECT_EQ(requestsFor("update").size(), 2);
    EXPECT_TRUE(ReadFileBytes(onDisk(QString(), QStringLiteral("big.bin"))) == bigBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("first.bin"))), firstBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("third.bin"))), thirdBytes);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(rowStatus(row), QueueStatus::Succeeded()) << row;
}

TEST_F(PauseTest, AfterAPauseCancelGivesTheButtonBackAndResumeRefillsTheQueue) {
    uploadAndPause();
    QTest::mouseClick(main().btnCancel, Qt::LeftButton);
    EXPECT_EQ(main().spStatus1->text(), u("文件上传已取消"));
    EXPECT_FALSE(main().btnCancel->isEnabled());
    EXPECT_TRUE(main().btnUpload->isEnabled());
    EXPECT_EQ(ftpSessions().size(), 1);  // cancel sends nothing

    // "更新入库" takes what has arrived whole: the first file.
    main().N23->trigger();
    EXPECT_EQ(main().spStatus1->text(), u("提示:上传文件入库成功"));
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("first.bin"))), firstBytes);
    EXPECT_FALSE(QFile::exists(onDisk(QString(), QStringLiteral("big.bin"))));

    // "续传文件": the site's list of what is missing becomes the queue.
    main().N24->trigger();
    const QByteArray token = program->LoginFrm->Session().AccountToken;
    ASSERT_EQ(requestsFor("resume").size(), 1);
    EXPECT_EQ(requestsFor("resume")[0].body, "action=resume&username=demo&password=" + token);
    ASSERT_EQ(queue().Count(), 2);
    EXPECT_EQ(queue().FileName(0), QStringLiteral("big.bin"));
    EXPECT_EQ(queue().FolderPath(0), localFolder());
    EXPECT_EQ(main().lv2->SubItem(0, QueueColumn::Size), QStringLiteral("40.00MB"));
    EXPECT_EQ(rowStatus(0), QueueStatus::ToResume());
    EXPECT_EQ(queue().FileName(1), QStringLiteral("third.bin"));
    EXPECT_EQ(rowStatus(1), QueueStatus::ToResume());

    clickUpload();

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    const int session = ftpSessions().last();
    const QByteArray sizeReply = replyTo("SIZE " + remoteName(big), session);
    ASSERT_TRUE(sizeReply.startsWith("213 ")) << sizeReply.toStdString();
    EXPECT_EQ(ftpCommands(session), loggedIn({"SIZE " + remoteName(big), "PASV", "REST " + sizeReply.mid(4),
                                              "STOR " + remoteName(big), "SIZE " + remoteName(third), "PASV",
                                              "STOR " + remoteName(third), "QUIT"}));
    EXPECT_TRUE(ReadFileBytes(onDisk(QString(), QStringLiteral("big.bin"))) == bigBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("third.bin"))), thirdBytes);
    main().N24->trigger();
    EXPECT_EQ(queue().Count(), 0);
    EXPECT_EQ(main().spStatus1->text(), u("提示:暂无待续传文件"));
}

TEST_F(UploadDemoTest, PassiveFlagSpellingsChooseTheDataConnection) {
    login();
    struct Case {
        QByteArray flag;
        QByteArray dataCommand;
    };
    const Case cases[] = {{"1", "PASV"}, {"True", "PASV"}, {"true", "PASV"}, {"0", "PORT"}, {"false", "PORT"}};
    int n = 0;
    for (const Case& c : cases) {
        main().N6->trigger();  // a fresh queue for each run
        const QByteArray bytes = RandomBytes(20000 + n, 100 + n);
        const QString file = local(QStringLiteral("passive-%1.bin").arg(n++), bytes);
        addFiles({file});
        main().SiteSettings.FtpPassive = c.flag;
        clickUpload();
        const QList<QByteArray> commands = ftpCommands();
        ASSERT_GE(commands.size(), 7) << c.flag.toStdString();
        EXPECT_TRUE(commands[6].startsWith(c.dataCommand)) << c.flag.toStdString() << ": " << commands[6].toStdString();
        EXPECT_EQ(rowStatus(0), QueueStatus::Succeeded()) << c.flag.toStdString();
        EXPECT_EQ(ReadFileBytes(onDisk(QString(), QFileInfo(file).fileName())), bytes) << c.flag.toStdString();
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();

    main().N6->trigger();
    addFiles({local(QStringLiteral("never.bin"), "x")});
    main().SiteSettings.FtpPassive = "yes";
    const int sessions = int(ftpSessions().size());
    clickUpload();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], "'yes' is not a valid boolean value");
    EXPECT_EQ(ftpSessions().size(), sessions);
    EXPECT_TRUE(main().btnUpload->isEnabled());
    EXPECT_EQ(main().btnUpload->text(), u("上传文件"));
}

TEST_F(UploadDemoTest, AFailedLogInLeavesTheRunStoppedUntilCancelAndANewRunStartsAfresh) {
    login();
    const QByteArray bytes = RandomBytes(10000, 5);
    const QString file = local(QStringLiteral("a.bin"), bytes);
    addFiles({file});
    const QByteArray password = main().SiteSettings.FtpPassword;
    main().SiteSettings.FtpPassword = "wrong";

    clickUpload();

    EXPECT_EQ(ftpCommands(), (QList<QByteArray>{"AUTH TLS", "USER " + account.ftpUser.toUtf8(), "PASS wrong"}));
    // The run stopped before any row: the status names the server's refusal.
    EXPECT_TRUE(main().spStatus1->text().startsWith(u("服务器连接失败：530 ")))
        << main().spStatus1->text().toStdString();
    EXPECT_FALSE(main().btnUpload->isEnabled());
    EXPECT_EQ(main().btnUpload->text(), u("上传中..."));
    EXPECT_TRUE(main().btnCancel->isEnabled());
    EXPECT_EQ(rowStatus(0), QueueStatus::Queued());
    EXPECT_TRUE(requestsFor("update").isEmpty());
    EXPECT_TRUE(main().Upload().ftp1.Connected());  // pyftpdlib lets a client try again

    QTest::mouseClick(main().btnCancel, Qt::LeftButton);
    EXPECT_TRUE(main().btnUpload->isEnabled());
    EXPECT_EQ(main().btnUpload->text(), u("上传文件"));
    EXPECT_FALSE(main().btnCancel->isEnabled());

    main().SiteSettings.FtpPassword = password;
    clickUpload();
    EXPECT_EQ(ftpSessions().size(), 2);  // the old connection was closed, a new one made
    EXPECT_EQ(rowStatus(0), QueueStatus::Succeeded());
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("a.bin"))), bytes);
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

TEST_F(UploadDemoTest, TheQueueTakesDropsTheFolderCommandAndItsMenuCommands) {
    login();
    const QString b = local(QStringLiteral("b.txt"), "bb");
    const QString a = local(QStringLiteral("a.txt"), "");
    const QString bad = local(QStringLiteral("bad|name.txt"), "x");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(b), QUrl::fromLocalFile(localFolder()), QUrl::fromLocalFile(bad),
                  QUrl::fromLocalFile(a)});
    // As a drag from the file manager arrives: enter (which makes the list
    // the drop target), then drop.
    QWidget* viewport = main().lv2->reportView()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    ASSERT_EQ(queue().Count(), 2);
    EXPECT_EQ(queue().FileName(0), QStringLiteral("b.txt"));
    EXPECT_EQ(queue().FileName(1), QStringLiteral("a.txt"));  // an empty file may be dropped
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, u("文件名含有不支持的字符，无法上传：bad|name.txt"));

    // The folder command adds the non-empty files, the bad name refused.
    main().PageControl1->setCurrentWidget(main().PCDisk);
    main().QueueCommands().BrowseFolderDlg = [this](QWidget*) { return localFolder(); };
    main().N2->trigger();
    EXPECT_EQ(main().PageControl1->currentWidget(), main().PCTask);
    EXPECT_EQ(queue().Count(), 3);
    EXPECT_EQ(queue().FileName(2), QStringLiteral("b.txt"));
    EXPECT_EQ(messages.size(), 2);

    // Selecting rows checks them; "删除选中" removes exactly those.
    main().lv2->SetSelected(0, true);
    main().lv2->SetSelected(2, true);
    EXPECT_TRUE(main().lv2->Checked(0));
    EXPECT_FALSE(main().lv2->Checked(1));
    main().N5->trigger();
    ASSERT_EQ(queue().Count(), 1);
    EXPECT_EQ(queue().FileName(0), QStringLiteral("a.txt"));
    main().UploadFinished = true;
    main().N6->trigger();
    EXPECT_EQ(queue().Count(), 0);
    EXPECT_FALSE(main().UploadFinished);
}

// The site's FTP server requires TLS on the control and data connections,
// with a certificate made for its address.
class TlsUploadDemoTest : public UploadDemoTest {
protected:
    QStringList siteOptions() override {
        const QString key = keyDir.filePath(QStringLiteral("key.pem"));
        QString error;
        EXPECT_TRUE(MakeSelfSignedCertificate(certFile(), key, error, QStringLiteral("IP:127.0.0.1")))
            << error.toStdString();
        return UploadDemoTest::siteOptions() +
               QStringList{QStringLiteral("--ftp-tls-cert"), certFile(), QStringLiteral("--ftp-tls-key"), key};
    }
    QString certFile() const { return keyDir.filePath(QStringLiteral("cert.pem")); }

    QTemporaryDir keyDir;
};

TEST_F(TlsUploadDemoTest, OverTlsOneFileIsSentOneSkippedAndOneContinuedAndTheDebugLogSaysSo) {
    WriteFileBytes(programDir.filePath(QStringLiteral("quellix.debug")), "");
    login(u("张三"));
    ASSERT_EQ(main().Upload().ftp1.AddTrustedCertificates(certFile()), 1);
    const QByteArray oneBytes = RandomBytes(100000, 21), twoBytes = RandomBytes(200000, 22),
                     threeBytes = RandomBytes(300001, 23);
    const QString one = local(QStringLiteral("one.bin"), oneBytes);
    const QString two = local(QStringLiteral("two.bin"), twoBytes);
    const QString three = local(QStringLiteral("three.bin"), threeBytes);
    WriteFileBytes(incoming(remoteName(two)), twoBytes);
    WriteFileBytes(incoming(remoteName(three)), threeBytes.left(123456));
    addFiles({one, two, three});

    clickUpload();

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(ftpCommands(),
              (QList<QByteArray>{"AUTH TLS", "USER " + account.ftpUser.toUtf8(), "PASS " + account.ftpPassword.toUtf8(),
                                 "PBSZ 0", "PROT P", "CWD " + site->ftpDir(), "TYPE I", "SIZE " + remoteName(one),
                                 "PASV", "STOR " + remoteName(one), "SIZE " + remoteName(two),
                                 "SIZE " + remoteName(three), "PASV", "REST 123456", "STOR " + remoteName(three),
                                 "QUIT"}));
    EXPECT_TRUE(statuses.contains(u("【two.bin】 已存在，跳过此文件")));
    EXPECT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
    EXPECT_EQ(requestsFor("update").size(), 2);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("one.bin"))), oneBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("two.bin"))), twoBytes);
    EXPECT_EQ(ReadFileBytes(onDisk(QString(), QStringLiteral("three.bin"))), threeBytes);

    const QList<QByteArray> log = ReadFileBytes(programDir.filePath(QStringLiteral("debug.txt"))).split('\n');
    const qsizetype open = log.indexOf("Request OpenAsync Done.");
    ASSERT_GE(open, 0);
    EXPECT_TRUE(log.value(open + 4).startsWith("TLS in use: TLSv1.")) << log.value(open + 4).constData();
    EXPECT_TRUE(log.value(open + 4).endsWith(", certificate verified for 127.0.0.1"));
}

// Nobody vouches for the certificate: the run stops before the log-in, and
// the standard error report names the problem and the server.
TEST_F(TlsUploadDemoTest, AnUntrustedCertificateStopsTheRunBeforeTheLogInWithAMessage) {
    login();
    const QString one = local(QStringLiteral("one.bin"), RandomBytes(1000, 31));
    addFiles({one});

    clickUpload();

    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], ToGbk(u("无法与 FTP 服务器 127.0.0.1 建立加密连接：certificate not trusted。上传已停止。")));
    EXPECT_EQ(ftpCommands(), QList<QByteArray>{"AUTH TLS"});
    EXPECT_FALSE(main().Upload().ftp1.Connected());
    EXPECT_FALSE(QFile::exists(incoming(remoteName(one))));
    EXPECT_TRUE(requestsFor("update").isEmpty());
    EXPECT_TRUE(main().btnCancel->isEnabled());  // the way back to the upload button
}

}  // namespace

// The window with 同时上传文件数 at 3: one click sends the queue over three
// FTP sessions of the demo site's server; an OK of 传输设置 with 1 makes the
// next run one session again.
class ParallelUploadDemoTest : public UploadDemoTest {
protected:
    int parallelUploads() override { return 3; }
};

TEST_F(ParallelUploadDemoTest, ThreeSessionsSendTheQueueAndTheOptionsOfTheDialogTakeEffectAtTheNextRun) {
    login();
    const int folderId = openTargetFolder(u("空文件夹"));
    ASSERT_GT(folderId, 0);
    QStringList paths;
    QList<QByteArray> contents;
    for (int i = 0; i < 7; ++i) {
        contents.append(RandomBytes(50000 + 7919 * i, 20 + i));
        paths.append(local(QStringLiteral("p%1.bin").arg(i), contents.last()));
    }
    WriteFileBytes(incoming(remoteName(paths[2])), contents[2]);              // held whole
    WriteFileBytes(incoming(remoteName(paths[5])), contents[5].left(20000));  // held in part
    addFiles(paths);

    clickUpload();
    ASSERT_TRUE(WaitFor([&] { return main().btnUpload->isEnabled(); }, 30000));

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(ftpSessions().size(), 3);
    EXPECT_EQ(requestsFor("postlist").size(), 1);
    EXPECT_EQ(requestsFor("update").size(), 2);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(rowStatus(i), QueueStatus::Succeeded()) << i;
        EXPECT_EQ(ReadFileBytes(onDisk(u("空文件夹"), QStringLiteral("p%1.bin").arg(i))), contents[i]) << i;
    }
    EXPECT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
    EXPECT_EQ(main().pb1->value(), 100);

    TransferOptions options = main().Options();
    options.parallelUploads = 1;
    main().ApplyTransferOptions(options, QByteArray());
    queue().Clear();
    main().UploadFinished = false;
    addFiles({local(QStringLiteral("later1.bin"), RandomBytes(3000, 40)),
              local(QStringLiteral("later2.bin"), RandomBytes(3000, 41))});
    clickUpload();
    ASSERT_TRUE(WaitFor([&] { return main().btnUpload->isEnabled(); }, 30000));
    EXPECT_EQ(ftpSessions().size(), 4);
    EXPECT_EQ(ftpCommands().count("QUIT"), 1);
    EXPECT_EQ(main().spStatus1->text(), u("全部文件上传成功"));
}

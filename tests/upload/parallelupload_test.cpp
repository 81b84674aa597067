// The upload run with several FTP sessions, without a display, against
// pyftpdlib (also behind the fault proxy): a queue stored whole over several
// sessions, a server that takes fewer sessions, pause, cancel while every
// session waits for its retry, a cut in one session while the others go on,
// and rows deleted while several are sent.

#include "support/fakesite.h"
#include "support/faultproxy.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"
#include "upload/filelist.h"
#include "upload/uploadpresenter.h"
#include "upload/uploadqueue.h"
#include "upload/uploadregistration.h"
#include "upload/uploadrun.h"

#include <QDir>
#include <QProcess>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <csignal>
#include <unistd.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray Content(qsizetype size, int seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7919 + seed * 104729) >> 5);
    return bytes;
}

class Presenter : public UploadPresenter {
public:
    void ShowStatus(const QString& text, bool) override { statuses.append(text); }
    void ShowGauge(int percent) override { gauge = percent; }
    void ShowRunBytes(qint64 done, qint64 total) override {
        runDone = done;
        runTotal = total;
    }
    void SetUploadBusy(bool busy) override { uploadBusy = busy; }
    void SetAbortEnabled(bool) override {}
    void SetCancelEnabled(bool) override {}
    bool Confirm(const QString&) override { return false; }
    void Inform(const QString&) override {}
    void AddLocalFiles() override {}
    void RowTaken(int) override {}
    void FileEnded(int) override {}
    void RunEnded() override {}

    QStringList statuses;
    int gauge = -1;
    qint64 runDone = 0;
    qint64 runTotal = 0;
    bool uploadBusy = false;
};

class ParallelUploadTest : public testing::Test {
protected:
    ParallelUploadTest() {
        session.AccountName = "alice";
        session.AccountToken = "TOK";
        settings.FtpHost = "127.0.0.1";
        settings.FtpUser = "uploader";
        settings.FtpPassword = "pw";
        settings.FtpPort = QByteArray::number(ftp.port());
        settings.FtpDir = "/up/";
        settings.FtpPassive = "1";
        settings.RegisterSiteUrl = site.url();
        site.handler = [](const FakeRequest& r) -> FakeReply { return {200, r.field("action") + "\r\n"}; };
        QDir(ftp.home()).mkdir(QStringLiteral("up"));
        run.RetryDelaysMs = {10, 20, 40};
        run.OnRunOver = [this](int files, int failed) { runsOver.append({files, failed}); };
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
    }
    ~ParallelUploadTest() override { SetErrorReportSink(nullptr); }

    QString make(const QString& name, const QByteArray& bytes) {
        WriteFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }
    QByteArray remoteName(const QString& path) { return RemoteFileName(ToGbk(path), QFile(path).size()); }
    QByteArray onServer(const PyFtpServer& server, const QString& path) {
        return ReadFileBytes(server.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(path))));
    }
    void click() { RunGuarded([&] { run.btnUploadClick(); }); }
    bool atRest(int timeoutMs = 30000) {
        return WaitFor(
            [&] {
                for (int row = 0; row < queue.Count(); ++row)
                    if (queue.Status(row) == QueueStatus::Uploading())
                        return false;
                return !run.Running();
            },
            timeoutMs);
    }
    // Rows of the queue whose status is `status`.
    int rowsWith(const decltype(QueueStatus::Uploading())& status) {
        int n = 0;
        for (int row = 0; row < queue.Count(); ++row)
            n += queue.Status(row) == status ? 1 : 0;
        return n;
    }
    static int count(const QList<QByteArray>& lines, const QByteArray& prefix) {
        int n = 0;
        for (const QByteArray& line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    QTemporaryDir dir;
    FakeSite site;
    PyFtpServer ftp{"uploader", "pw"};
    LocalFiles files{dir.path()};
    SiteSession session;
    TSiteSettings settings;
    int folderId = 0;
    bool postListAccepted = false;
    bool uploadFinished = false;
    UploadSite upload{files, session, settings, folderId, postListAccepted, uploadFinished};
    UploadQueue queue;
    Presenter presenter;
    UploadRegistration registration{upload, queue, presenter};
    UploadRun run{upload, queue, registration, presenter};
    QList<QPair<int, int>> runsOver;
    QList<QByteArray> errors;
};

TEST_F(ParallelUploadTest, ThreeSessionsStoreTheQueueWholeWithEveryRuleOfOneAndOneRegistration) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    QStringList paths;
    QList<QByteArray> contents;
    for (int i = 0; i < 9; ++i) {
        contents.append(Content(i == 4 ? 0 : 20000 * i + 3000, i));
        paths.append(make(QStringLiteral("f%1.bin").arg(i), contents.last()));
    }
    // The server holds the second file whole and the third in part; the
    // fourth is gone before the run.
    WriteFileBytes(ftp.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(paths[1]))), contents[1]);
    WriteFileBytes(ftp.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(paths[2]))),
                   contents[2].left(7000));
    queue.AddLocalFiles(paths);
    QFile::remove(paths[3]);
    run.ParallelUploads = 3;

    click();
    ASSERT_TRUE(atRest());

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    for (int i = 0; i < 9; ++i) {
        if (i == 3)
            continue;
        EXPECT_TRUE(onServer(ftp, paths[i]) == contents[i]) << i;
        EXPECT_EQ(queue.Status(i), QueueStatus::Succeeded()) << i;
    }
    EXPECT_EQ(queue.Status(3), QueueStatus::FileMissing());
    const QList<QByteArray> commands = ftp.commands();
    EXPECT_EQ(count(commands, "USER "), 3);
    EXPECT_EQ(run.SessionsLoggedIn(), 3);
    // Every session leaves with QUIT (the server may read the last ones
    // after the run has ended).
    EXPECT_TRUE(WaitFor([&] { return count(ftp.commands(), "QUIT") == 3; }, 5000));
    for (int i = 0; i < 9; ++i) {
        if (i == 3)
            continue;
        // A stored file's size is asked again before its row counts as sent.
        EXPECT_EQ(commands.count("SIZE " + remoteName(paths[i])), i == 1 ? 1 : 2) << i;
        EXPECT_EQ(commands.count("STOR " + remoteName(paths[i])), i == 1 ? 0 : 1) << i;
    }
    EXPECT_EQ(count(commands, "REST "), 1);
    EXPECT_TRUE(commands.contains("REST 7000"));
    // One announcement; the registration as a run of one session sends it.
    EXPECT_EQ(site.requestsFor("postlist").size(), 1);
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_EQ(presenter.gauge, 100);
    EXPECT_EQ(presenter.runTotal, presenter.runDone);
    EXPECT_EQ(presenter.statuses.last(), u("全部文件上传成功"));
    EXPECT_TRUE(uploadFinished);
    EXPECT_FALSE(presenter.uploadBusy);
    EXPECT_EQ(runsOver, (QList<QPair<int, int>>{{9, 1}}));
}

TEST_F(ParallelUploadTest, AServerThatTakesTwoSessionsIsRememberedAndTheRunGoesOnWithTwo) {
    PyFtpServer limited("uploader", "pw", {QStringLiteral("--max-cons-per-ip"), QStringLiteral("2")});
    ASSERT_TRUE(limited.isRunning()) << limited.error().constData();
    QDir(limited.home()).mkdir(QStringLiteral("up"));
    settings.FtpPort = QByteArray::number(limited.port());
    QStringList paths;
    for (int i = 0; i < 8; ++i)
        paths.append(make(QStringLiteral("g%1.bin").arg(i), Content(40000 + i, i)));
    queue.AddLocalFiles(paths.mid(0, 4));
    run.ParallelUploads = 4;

    click();
    ASSERT_TRUE(atRest());

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(queue.Status(i), QueueStatus::Succeeded()) << i;
        EXPECT_TRUE(onServer(limited, paths[i]) == Content(40000 + i, i)) << i;
    }
    EXPECT_EQ(count(limited.commands(), "USER "), 2);
    EXPECT_EQ(run.SessionLimit("127.0.0.1", settings.FtpPort), 2);
    EXPECT_EQ(presenter.statuses.last(), u("全部文件上传成功"));
    EXPECT_EQ(runsOver, (QList<QPair<int, int>>{{4, 0}}));

    // The next run asks for no more than the server took.
    queue.Clear();
    uploadFinished = false;
    queue.AddLocalFiles(paths.mid(4));
    click();
    ASSERT_TRUE(atRest());
    EXPECT_EQ(run.SessionsLoggedIn(), 2);
    EXPECT_EQ(count(limited.commands(), "USER "), 4);
    for (int i = 4; i < 8; ++i)
        EXPECT_TRUE(onServer(limited, paths[i]) == Content(40000 + i, i)) << i;
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// "暂停" while three sessions send: every connection goes at once, nothing
// more is sent, the files in flight wait as "待续传"; the next run finishes
// them from where the server stopped.
TEST_F(ParallelUploadTest, PauseStopsEverySessionAndTheNextRunFinishesTheFilesInFlight) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths.append(make(QStringLiteral("p%1.bin").arg(i), Content(6000000, i)));
    queue.AddLocalFiles(paths);
    run.ParallelUploads = 3;
    QTimer pauser;
    QObject::connect(&pauser, &QTimer::timeout, [&] {
        if (rowsWith(QueueStatus::Uploading()) == 3 && presenter.gauge >= 5) {
            pauser.stop();
            RunGuarded([&] { run.btnAbortClick(); });
        }
    });
    pauser.start(1);

    click();
    ASSERT_TRUE(atRest());
    EXPECT_FALSE(run.ftp1.Connected());
    // The server may still read what was sent before the pause; after that,
    // nothing more comes.
    WaitFor([] { return false; }, 300);
    const QList<QByteArray> afterPause = ftp.commands();
    WaitFor([] { return false; }, 700);
    EXPECT_EQ(ftp.commands(), afterPause);
    EXPECT_EQ(count(afterPause, "USER "), 3);
    EXPECT_LE(count(afterPause, "STOR "), 3);
    EXPECT_EQ(presenter.statuses.last(), u("文件上传已暂停"));
    EXPECT_TRUE(site.requestsFor("update").isEmpty());
    EXPECT_TRUE(runsOver.isEmpty());
    EXPECT_EQ(rowsWith(QueueStatus::ToResume()), 3);

    click();
    ASSERT_TRUE(atRest(60000));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(onServer(ftp, paths[i]) == Content(6000000, i)) << i;
    EXPECT_GE(count(ftp.commands(), "REST "), 1);
    EXPECT_EQ(presenter.statuses.last(), u("全部文件上传成功"));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// The server goes away while three sessions send: each session waits for
// its retry; "取消" then gives every retry up at once. No row is left
// "上传中...", the run is over, and no session connects again later.
TEST_F(ParallelUploadTest, CancelGivesUpTheRetriesOfEverySession) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    // Each connection capped at 2 MB/s: the three files are surely all on
    // their way when the server goes.
    FaultProxy proxy(ftp.port(), {QStringLiteral("--ftp"), QStringLiteral("--rate"), QStringLiteral("2M")});
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
    settings.FtpPort = QByteArray::number(proxy.port());
    QStringList paths;
    for (int i = 0; i < 3; ++i)
        paths.append(make(QStringLiteral("x%1.bin").arg(i), Content(6000000, i)));
    queue.AddLocalFiles(paths);
    run.ParallelUploads = 3;
    run.RetryDelaysMs = {1500};
    const auto waitingToRetry = [&] { return presenter.statuses.filter(u("秒后第1次重试")).size(); };
    QTimer killer;
    QObject::connect(&killer, &QTimer::timeout, [&] {
        if (rowsWith(QueueStatus::Uploading()) == 3 && presenter.gauge >= 5) {
            killer.stop();
            ::kill(pid_t(ftp.processId()), SIGKILL);
        }
    });
    killer.start(1);

    click();
    ASSERT_TRUE(WaitFor([&] { return waitingToRetry() == 3; }, 30000)) << presenter.statuses.join('\n').toStdString();
    RunGuarded([&] { run.btnCancelClick(); });

    EXPECT_FALSE(run.Running());
    for (int row = 0; row < queue.Count(); ++row)
        EXPECT_EQ(queue.Status(row), QueueStatus::Failed()) << row;
    EXPECT_EQ(presenter.statuses.last(), u("文件上传已取消"));
    EXPECT_FALSE(presenter.uploadBusy);
    // The retries were due within 1.5 s: none of them comes.
    const qsizetype shown = presenter.statuses.size();
    EXPECT_FALSE(WaitFor([&] { return presenter.statuses.size() != shown; }, 2500))
        << presenter.statuses.last().toStdString();
    EXPECT_TRUE(site.requestsFor("update").isEmpty());
    EXPECT_TRUE(runsOver.isEmpty());
}

// The fault proxy cuts one data connection while three sessions send: that
// file is continued where the server's copy stops; the others go on.
// pyftpdlib takes the cut for the end of the file and answers 226, so this
// holds only because a parallel run checks each stored file's size.
TEST_F(ParallelUploadTest, ACutInOneSessionIsRetriedWhileTheOthersGoOn) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    FaultProxy proxy(ftp.port(), {QStringLiteral("--ftp"), QStringLiteral("--faults-on"), QStringLiteral("data"),
                                  QStringLiteral("--count"), QStringLiteral("up"), QStringLiteral("--at"),
                                  QStringLiteral("5M")});
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
    settings.FtpPort = QByteArray::number(proxy.port());
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths.append(make(QStringLiteral("c%1.bin").arg(i), Content(3000000, i)));
    queue.AddLocalFiles(paths);
    run.ParallelUploads = 3;

    click();
    ASSERT_TRUE(atRest(60000));

    EXPECT_EQ(proxy.faults(), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(queue.Status(i), QueueStatus::Succeeded()) << i;
        EXPECT_TRUE(onServer(ftp, paths[i]) == Content(3000000, i)) << i;
    }
    // The session whose data connection was cut either saw the cut (and
    // connected again) or took the server's 226 for it, and the check of the
    // size on the server found the file short.
    const int reconnected = int(presenter.statuses.filter(u("连接中断，重新连接中...")).size());
    const int short_ = int(presenter.statuses.filter(u("服务器上的文件不完整，继续上传...")).size());
    EXPECT_EQ(reconnected + short_, 1);
    EXPECT_EQ(count(ftp.commands(), "USER "), 3 + reconnected);
    EXPECT_EQ(presenter.statuses.last(), u("全部文件上传成功"));
    EXPECT_EQ(runsOver, (QList<QPair<int, int>>{{4, 0}}));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// Rows deleted while two sessions send (one being sent, one not yet taken)
// are passed over; the others are stored and the run ends as usual.
TEST_F(ParallelUploadTest, RowsDeletedWhileTwoSessionsSendArePassedOver) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths.append(make(QStringLiteral("d%1.bin").arg(i), Content(4000000, i)));
    queue.AddLocalFiles(paths);
    run.ParallelUploads = 2;
    QTimer deleter;
    bool deleted = false;
    QObject::connect(&deleter, &QTimer::timeout, [&] {
        if (presenter.gauge < 5 || queue.Status(0) != QueueStatus::Uploading())
            return;
        deleter.stop();
        deleted = true;
        // The first row (being sent) and the fourth (not taken yet).
        for (int row = 0; row < queue.Count(); ++row)
            queue.SetChecked(row, row == 0 || row == 3);
        queue.DeleteChecked();
    });
    deleter.start(1);

    click();
    ASSERT_TRUE(atRest(60000));

    ASSERT_TRUE(deleted);
    ASSERT_EQ(queue.Count(), 3);
    for (int i : {1, 2, 4})
        EXPECT_TRUE(onServer(ftp, paths[i]) == Content(4000000, i)) << i;
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(queue.Status(row), QueueStatus::Succeeded()) << row;
    EXPECT_EQ(ftp.commands().count("STOR " + remoteName(paths[3])), 0);
    EXPECT_EQ(site.requestsFor("update").size(), 2);
    EXPECT_EQ(runsOver, (QList<QPair<int, int>>{{3, 0}}));
    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
}

// Debian's vsftpd with TLS forced and TLS session reuse required on every
// data connection (scripts/vsftpd-tls.sh; root only): three sessions, each
// verifying the certificate, store the queue whole with the sizes asked in
// batches and the checks sent ahead of the stores.
TEST_F(ParallelUploadTest, ThreeTlsSessionsStoreTheQueueWholeOnVsftpd) {
    if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/sbin/vsftpd")))
        GTEST_SKIP() << "vsftpd runs as root only";
    QProcess vsftpd;
    vsftpd.setProgram(QStringLiteral("/bin/bash"));
    vsftpd.setArguments({QStringLiteral("-c"),
                         QStringLiteral("set -e; work=$(mktemp -d); source \"$1\"; start_vsftpd; "
                                        "echo \"READY $vsftpd_port $work\"; read -r _ || true; stop_vsftpd; "
                                        "rm -rf \"$work\""),
                         QStringLiteral("vsftpd"), SourceDir() + QStringLiteral("/scripts/vsftpd-tls.sh")});
    EndWithThisProcess(vsftpd, SIGTERM);
    vsftpd.start();
    ASSERT_TRUE(WaitFor([&] { return vsftpd.canReadLine() || vsftpd.state() == QProcess::NotRunning; }, 30000));
    const QList<QByteArray> ready = vsftpd.readLine().trimmed().split(' ');
    ASSERT_EQ(ready.size(), 3) << vsftpd.readAllStandardError().constData();
    const QString work = QString::fromUtf8(ready[2]);
    settings.FtpHost = "localhost";
    settings.FtpPort = ready[1];
    settings.FtpUser = "anonymous";
    settings.FtpPassword = "quellix@";
    settings.FtpDir = "/upload";
    ASSERT_EQ(run.ftp1.AddTrustedCertificates(work + QStringLiteral("/cert.pem")), 1);
    QStringList paths;
    for (int i = 0; i < 7; ++i)
        paths.append(make(QStringLiteral("v%1.bin").arg(i), Content(300000 * i + 1000, i)));
    queue.AddLocalFiles(paths);
    run.ParallelUploads = 3;

    click();
    ASSERT_TRUE(atRest(60000));

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(run.SessionsLoggedIn(), 3);
    EXPECT_TRUE(run.ftp1.DataProtected());
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(queue.Status(i), QueueStatus::Succeeded()) << i;
        EXPECT_TRUE(ReadFileBytes(work + QStringLiteral("/root/upload/") + QString::fromLatin1(remoteName(paths[i]))) ==
                    Content(300000 * i + 1000, i))
            << i;
    }
    EXPECT_EQ(presenter.statuses.last(), u("全部文件上传成功"));
    vsftpd.closeWriteChannel();
    vsftpd.waitForFinished(10000);
}

}  // namespace

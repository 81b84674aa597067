// The upload pipeline's core on its own, without widgets or a display: the
// queue's notifications, and a run reporting to a presenter that records
// what it is told, against a scripted site and a real FTP server.

#include "support/fakesite.h"
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
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

struct RecordingListener : UploadQueueListener {
    QStringList events;
    void queueRowsAboutToBeAppended(int first, int last) override {
        events.append(QStringLiteral("append %1-%2").arg(first).arg(last));
    }
    void queueRowsAppended() override {}
    void queueAboutToBeReset() override { events.append(QStringLiteral("reset")); }
    void queueReset() override {}
    void queueRowsChanged(int first, int last) override {
        events.append(QStringLiteral("changed %1-%2").arg(first).arg(last));
    }
};

TEST(UploadQueueCore, KeysFindRowsAfterDeletionsAndChangesComeAsRanges) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("f.bin"));
    WriteFileBytes(file, "x");
    UploadQueue queue;
    RecordingListener listener;
    queue.SetListener(&listener);
    queue.AddLocalFiles(QStringList(6, file));
    QList<quint64> keys;
    for (int row = 0; row < 6; ++row)
        keys.append(queue.RowKey(row));

    queue.SetCheckedRows({1, 2, 4});
    queue.SetCheckedRows({1, 2, 4});  // nothing changes: nothing told
    queue.DeleteChecked();
    queue.DeleteChecked();  // nothing checked: no reset
    queue.SetStatus(2, QueueStatus::Failed());
    queue.SetStatus(2, QueueStatus::Failed());

    EXPECT_EQ(listener.events, (QStringList{"append 0-5", "changed 1-4", "reset", "changed 2-2"}));
    ASSERT_EQ(queue.Count(), 3);
    EXPECT_EQ(queue.FindRow(keys[0]), 0);
    EXPECT_EQ(queue.FindRow(keys[3]), 1);
    EXPECT_EQ(queue.FindRow(keys[5]), 2);
    for (int deleted : {1, 2, 4})
        EXPECT_EQ(queue.FindRow(keys[deleted]), -1);
    queue.AddResumeRow(QStringLiteral("r.bin"), QStringLiteral("1B"), QStringLiteral("/f/"));
    EXPECT_GT(queue.RowKey(3), keys[5]);  // keys keep rising after deletions
    queue.SetListener(nullptr);
}

// Records every call, in order, as one line each.
class RecordingPresenter : public UploadPresenter {
public:
    explicit RecordingPresenter(UploadQueue& queue) : queue_(queue) {}
    void ShowStatus(const QString& text, bool frequent) override {
        if (!frequent)
            calls.append(QStringLiteral("status ") + text);
        lastStatus = text;
    }
    void ShowGauge(int percent) override { lastGauge = percent; }
    void SetUploadBusy(bool busy) override { calls.append(busy ? "busy" : "ready"); }
    void SetAbortEnabled(bool enabled) override { abortEnabled = enabled; }
    void SetCancelEnabled(bool enabled) override { cancelEnabled = enabled; }
    bool Confirm(const QString& question) override {
        calls.append(QStringLiteral("confirm ") + question);
        return confirmWith;
    }
    void Inform(const QString& message) override { calls.append(QStringLiteral("inform ") + message); }
    void AddLocalFiles() override { calls.append(QStringLiteral("add files")); }
    void RowTaken(int row) override { calls.append(QStringLiteral("taken %1").arg(row)); }
    void FileEnded(int row) override { calls.append(QStringLiteral("ended %1 ").arg(row) + queue_.Status(row)); }
    void RunEnded() override { calls.append(QStringLiteral("rest")); }

    QStringList calls;
    QString lastStatus;
    int lastGauge = -1;
    bool abortEnabled = false;
    bool cancelEnabled = false;
    bool confirmWith = true;

private:
    UploadQueue& queue_;
};

class UploadCoreRunTest : public testing::Test {
protected:
    UploadCoreRunTest() {
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
        SetErrorReportSink([this](const QByteArray&, const QByteArray& message) { errors.append(message); });
    }
    ~UploadCoreRunTest() override { SetErrorReportSink(nullptr); }

    QString make(const QString& name, const QByteArray& bytes) {
        WriteFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }
    QByteArray remoteName(const QString& path) { return RemoteFileName(ToGbk(path), QFile(path).size()); }
    QString onServer(const QString& path) {
        return ftp.filePath(QStringLiteral("up/") + QString::fromLatin1(remoteName(path)));
    }

    QTemporaryDir dir;
    FakeSite site;
    PyFtpServer ftp{"uploader", "pw"};
    LocalFiles files{dir.path()};
    SiteSession session;
    TSiteSettings settings;
    int folderId = 7;
    bool postListAccepted = false;
    bool uploadFinished = false;
    UploadSite upload{files, session, settings, folderId, postListAccepted, uploadFinished};
    UploadQueue queue;
    RecordingPresenter presenter{queue};
    UploadRegistration registration{upload, queue, presenter};
    UploadRun run{upload, queue, registration, presenter};
    QList<QByteArray> errors;
};

TEST_F(UploadCoreRunTest, ARunSkipsContinuesAndSendsFilesAndReportsEachStep) {
    ASSERT_TRUE(ftp.isRunning()) << ftp.error().constData();
    const QString whole = make(QStringLiteral("whole.txt"), "held whole");
    const QString part = make(QStringLiteral("part.txt"), "0123456789");
    const QString fresh = make(u("新.txt"), "fresh");
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    WriteFileBytes(onServer(whole), "held whole");
    WriteFileBytes(onServer(part), "0123");
    queue.AddLocalFiles({whole, part, missing, fresh});
    ASSERT_EQ(queue.Count(), 4);

    RunGuarded([&] { run.btnUploadClick(); });

    EXPECT_TRUE(errors.isEmpty()) << errors.value(0).toStdString();
    EXPECT_EQ(ReadFileBytes(onServer(part)), "0123456789");
    EXPECT_EQ(ReadFileBytes(onServer(fresh)), "fresh");
    QList<QByteArray> transfers;
    for (const QByteArray& line : ftp.commands())
        if (line.startsWith("SIZE ") || line.startsWith("REST ") || line.startsWith("STOR "))
            transfers.append(line);
    EXPECT_EQ(transfers, (QList<QByteArray>{"SIZE " + remoteName(whole), "SIZE " + remoteName(part), "REST 4",
                                            "STOR " + remoteName(part), "SIZE " + remoteName(fresh),
                                            "STOR " + remoteName(fresh)}));
    ASSERT_EQ(site.requests().size(), 3);
    EXPECT_EQ(site.requests()[0].field("folder_id"), "7");
    EXPECT_EQ(presenter.calls,
              (QStringList{"busy", "taken 0", u("ended 0 上传成功"), "taken 1",
                           u("ended 1 上传成功"), "taken 2", u("ended 2 文件不存在"), "taken 3", u("ended 3 上传成功"),
                           u("status 全部文件上传结束。"), "ready", u("status 提示:上传文件入库成功"),
                           u("status 全部文件上传成功"), "rest", "ready", u("status 提示:上传文件入库成功"),
                           u("status 全部文件上传成功"), "rest", "rest"}));
    EXPECT_EQ(presenter.lastGauge, 100);
    EXPECT_FALSE(presenter.abortEnabled);
    for (int row = 0; row < 4; ++row)
        EXPECT_TRUE(queue.Checked(row)) << row;
    EXPECT_TRUE(uploadFinished);

    // The next click asks to empty the uploaded queue instead of a run.
    presenter.calls.clear();
    RunGuarded([&] { run.btnUploadClick(); });
    EXPECT_EQ(presenter.calls, QStringList{u("confirm 上传队列中的文件已经上传，清空上传列表？")});
    EXPECT_EQ(queue.Count(), 0);
    EXPECT_EQ(site.requests().size(), 3);
}

}  // namespace

// quellix-tool site put, update and resume against the demo site: files on
// the account's disk, missing and unsendable files reported while the others
// go, and an upload killed midway finished with --resume.

#include "support/demosite.h"
#include "support/sitetool.h"
#include "support/testutil.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class SitePutTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.isRunning()) << site.errorText().toStdString();
        account = site.account(QStringLiteral("demo"));
    }
    QStringList common() const {
        return {QStringLiteral("--site"), QString::fromUtf8(site.siteUrl()), QStringLiteral("--user"), account.name};
    }
    ProcessResult run(const QStringList& args) {
        SiteToolRun how;
        how.password = account.password.toUtf8();
        how.workDir = dir.path();
        return RunSiteTool(args + common(), how);
    }
    QString local(const QString& name, const QByteArray& bytes) {
        WriteFileBytes(dir.filePath(name), bytes);
        return dir.filePath(name);
    }
    QString onDisk(const QString& name) const {
        return site.dataDir() + QStringLiteral("/disk/") + account.name + QStringLiteral("/") + name;
    }
    QString incoming() const {
        return site.dataDir() + QStringLiteral("/ftp/") + account.ftpUser + QString::fromUtf8(site.ftpDir());
    }
    // The FTP commands the server received, in order.
    QList<QByteArray> ftpCommands() const {
        QList<QByteArray> lines;
        for (const QByteArray& line : ReadFileBytes(site.ftpLogPath()).split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (entry.value(QStringLiteral("dir")).toString() == QStringLiteral("in"))
                lines.append(entry.value(QStringLiteral("line")).toString().toUtf8());
        }
        return lines;
    }

    DemoSite site{{QStringLiteral("--big-file-mib"), QStringLiteral("1")}};
    DemoAccount account;
    QTemporaryDir dir;
};

TEST_F(SitePutTest, FilesReachTheDiskWhileMissingAndUnsendableOnesAreReported) {
    const QString a = local(QStringLiteral("a.txt"), "alpha");
    const QString report = local(u("报告.doc"), QByteArray(70000, 'r'));
    const QString emoji = local(u("smile😀.txt"), "e");
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));

    // One file at a time, so that the lines come in row order.
    const ProcessResult put =
        run({QStringLiteral("put"), QStringLiteral("--parallel"), QStringLiteral("1"), a, missing, emoji, report});

    EXPECT_EQ(put.exitCode, 1);
    EXPECT_EQ(put.out, ("sent: " + a + "\nsent: " + report + "\n2 on the server, 0 failed, 2 not queued\n").toUtf8());
    EXPECT_TRUE(put.err.contains(("no file " + missing + "\n").toUtf8())) << put.err.constData();
    EXPECT_TRUE(put.err.contains(("'>' or '|'): " + emoji + "\n").toUtf8())) << put.err.constData();
    EXPECT_TRUE(put.err.endsWith("quellix-tool site put: not every file is on the server\n")) << put.err.constData();
    EXPECT_EQ(ReadFileBytes(onDisk(QStringLiteral("a.txt"))), "alpha");
    EXPECT_EQ(ReadFileBytes(onDisk(u("报告.doc"))), QByteArray(70000, 'r'));

    // Into a folder; every file there: exit 0. "update" then has nothing
    // new but is confirmed, and nothing waits to be resumed.
    const ProcessResult again = run({QStringLiteral("put"), QStringLiteral("--folder"), QStringLiteral("1"), a});
    EXPECT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_EQ(again.out, ("sent: " + a + "\n1 on the server, 0 failed\n").toUtf8());
    const ProcessResult update = run({QStringLiteral("update")});
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(update.out, u("提示:上传文件入库成功\n").toUtf8());
    const ProcessResult resume = run({QStringLiteral("resume")});
    EXPECT_EQ(resume.exitCode, 0);
    EXPECT_EQ(resume.out, u("提示:暂无待续传文件\n").toUtf8());
}

TEST_F(SitePutTest, AnUploadKilledMidwayIsFinishedWithResume) {
    // Sparse, so the file costs no time to make but some to send.
    const QString big = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(512) << 20));
    }
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUELLIX_PASSWORD"), account.password);
    tool.setProcessEnvironment(env);
    tool.setProgram(ProgramDir() + QStringLiteral("/quellix-tool"));
    tool.setArguments(QStringList{QStringLiteral("site"), QStringLiteral("put"), big} + common());
    EndWithThisProcess(tool);
    tool.start();
    ASSERT_TRUE(tool.waitForStarted());
    const auto partSize = [&] {
        const QFileInfoList parts = QDir(incoming()).entryInfoList(QDir::Files);
        return parts.isEmpty() ? qint64(0) : parts.first().size();
    };
    ASSERT_TRUE(WaitFor([&] { return partSize() > 0; }, 30000));
    tool.kill();
    ASSERT_TRUE(tool.waitForFinished(10000));
    const qint64 part = partSize();
    ASSERT_LT(part, qint64(512) << 20) << "the upload ended before the kill";

    const ProcessResult resume = run({QStringLiteral("resume")});
    EXPECT_EQ(resume.exitCode, 0);
    EXPECT_EQ(resume.out, ("512.00MB\t" + big + "\n").toUtf8());
    const ProcessResult put = run({QStringLiteral("put"), QStringLiteral("--resume")});
    EXPECT_EQ(put.exitCode, 0) << put.err.constData();
    EXPECT_EQ(put.out, ("sent: " + big + "\n1 on the server, 0 failed\n").toUtf8());
    EXPECT_TRUE(put.err.startsWith("1 unfinished upload to resume\n")) << put.err.constData();
    EXPECT_EQ(QFileInfo(onDisk(QStringLiteral("big.bin"))).size(), qint64(512) << 20);
    // The resumed run continued from what the server held.
    QList<QByteArray> rests;
    for (const QByteArray& line : ftpCommands())
        if (line.startsWith("REST "))
            rests.append(line);
    ASSERT_EQ(rests.size(), 1);
    EXPECT_GE(rests[0].mid(5).toLongLong(), part);
}

// --parallel 3: three FTP sessions carry the files; every file reaches the
// disk and the summary counts them all. A count outside 1 to 8 is refused
// before anything is sent.
TEST_F(SitePutTest, ParallelSendsTheFilesOverSeveralSessions) {
    QStringList paths;
    QList<QByteArray> contents;
    for (int i = 0; i < 6; ++i) {
        contents.append(QByteArray(20000 + 1000 * i, char('a' + i)));
        paths.append(local(QStringLiteral("f%1.bin").arg(i), contents.last()));
    }

    const ProcessResult put = run(QStringList{QStringLiteral("put"), QStringLiteral("--parallel"), QStringLiteral("3")} +
                                  paths);

    EXPECT_EQ(put.exitCode, 0) << put.err.constData();
    EXPECT_TRUE(put.out.endsWith("6 on the server, 0 failed\n")) << put.out.constData();
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(put.out.contains(("sent: " + paths[i] + "\n").toUtf8())) << i;
        EXPECT_EQ(ReadFileBytes(onDisk(QStringLiteral("f%1.bin").arg(i))), contents[i]) << i;
    }
    EXPECT_EQ(ftpCommands().count("USER " + account.ftpUser.toUtf8()), 3);

    const qsizetype before = ftpCommands().size();
    const ProcessResult refused = run({QStringLiteral("put"), QStringLiteral("--parallel"), QStringLiteral("9"), paths[0]});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_TRUE(refused.err.contains("--parallel must be a number from 1 to 8, not '9'")) << refused.err.constData();
    EXPECT_EQ(ftpCommands().size(), before);
}

}  // namespace

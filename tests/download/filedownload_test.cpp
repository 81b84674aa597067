// The download of one remote file against scripted range servers: the local
// file byte for byte, the status texts and sounds of every ending, the gauge
// over both ranges, and a second download replacing a running one.

#include "download/filedownload.h"
#include "net/netconnector.h"
#include "support/scriptedserver.h"
#include "support/rangeserver.h"
#include "support/testutil.h"
#include "text/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using Then = HttpReply::Then;

QByteArray Document(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 987;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// How many of this process's open file descriptors refer to `path`.
int OpenHandlesOf(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            ++count;
    return count;
}

class FileDownloadTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        download.SetStatusText = [this](const QString& text) { statuses << text; };
        download.SetGauge = [this](int percent) { gauge << percent; };
        download.PlaySound = [this](const QString& file) { sounds << QFileInfo(file).fileName(); };
        download.HttpDownFile.StallTimeout = 3000;
    }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    bool finished() const { return download.LastOutcome() != FileDownload::Outcome::Running; }
    void run(const QByteArray& url, const QString& name) {
        download.Start(url, folder(), name);
        ASSERT_TRUE(WaitFor([&] { return finished(); }, 15000));
    }

    QTemporaryDir dir;
    FileDownload download{QStringLiteral("/prog/ok.wav"), QStringLiteral("/prog/error.wav")};
    QStringList statuses;
    QList<int> gauge;
    QStringList sounds;
};

TEST_F(FileDownloadTest, ACompleteDownloadIsByteIdenticalAndEndsWithOkSound) {
    RangeServer server(Document(300 * 1024 + 7));
    run(server.url(), u("报告 一.pdf"));
    EXPECT_EQ(download.LastOutcome(), FileDownload::Outcome::Complete);
    EXPECT_EQ(download.TargetPath(), folder() + u("报告 一.pdf"));
    EXPECT_EQ(ReadFileBytes(download.TargetPath()), server.document());
    EXPECT_EQ(statuses, QStringList({u("文件【报告 一.pdf】下载中..."), u("文件【报告 一.pdf】下载完成")}));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("ok.wav")}));
    EXPECT_EQ(OpenHandlesOf(download.TargetPath()), 0);
    // The gauge starts at 0, climbs with the bytes of both ranges to 100
    // and is set back to 0 at the end.
    ASSERT_GE(gauge.size(), 3);
    EXPECT_EQ(gauge.first(), 0);
    EXPECT_EQ(gauge.last(), 0);
    const QList<int> during = gauge.mid(1, gauge.size() - 2);
    EXPECT_TRUE(std::is_sorted(during.begin(), during.end()));
    EXPECT_EQ(during.last(), 100);
    // Two ranges fetched besides the probe.
    EXPECT_EQ(server.requests().size(), 3);
}

TEST_F(FileDownloadTest, TheGaugeIsTheShareReceivedOverBothRanges) {
    download.HttpDownFileProgressAddSegment(0);
    download.HttpDownFileProgressSetPosition(0, 400);
    EXPECT_TRUE(gauge.isEmpty());
    // With a length: ranges 0-500 and 501-1000 of a 1000-byte document.
    RangeServer server(Document(1000));
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin >= 0)
            return HttpReply{QByteArray(), Then::Silence};  // the ranges never answer
        return std::nullopt;
    };
    download.Start(server.url(), folder(), QStringLiteral("g.bin"));
    ASSERT_TRUE(WaitFor([&] { return download.HttpDownFile.state() == TMultipartHttpDownloader::State::RangesRunning; }));
    gauge.clear();
    download.HttpDownFileProgressSetPosition(0, 250);  // 250 of range 0
    download.HttpDownFileProgressSetPosition(1, 501 + 250);  // and 250 of range 1: half the document
    download.HttpDownFileProgressSetPosition(0, 501);
    download.HttpDownFileProgressSetPosition(1, 0 + 501);  // a restart of range 1 loses what it had
    download.HttpDownFileProgressSetPosition(7, 1000);     // no such range: ignored
    EXPECT_EQ(gauge, QList<int>({25, 50, 75, 50}));
}

TEST_F(FileDownloadTest, ARefusedDownloadSaysTheFileDoesNotExistAndLeavesAnEmptyFile) {
    RangeServer server(Document(10));
    server.script = [](const RangeRequest&) -> std::optional<HttpReply> {
        return HttpReply{"HTTP/1.0 404 Not Found\r\nContent-Length: 12\r\n\r\nfile missing"};
    };
    run(server.url(), QStringLiteral("gone.txt"));
    EXPECT_EQ(download.LastOutcome(), FileDownload::Outcome::Missing);
    EXPECT_EQ(statuses.last(), u("文件【gone.txt】不存在"));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
    EXPECT_TRUE(QFileInfo::exists(folder() + QStringLiteral("gone.txt")));
    EXPECT_EQ(QFileInfo(folder() + QStringLiteral("gone.txt")).size(), 0);
    EXPECT_EQ(gauge.last(), 0);
    EXPECT_EQ(OpenHandlesOf(download.TargetPath()), 0);
}

TEST_F(FileDownloadTest, ATransferThatBreaksOffAfterBytesIsAFailureNotACompleteDownload) {
    RangeServer server(Document(4000));
    // Range 0 arrives whole; range 1 is cut off after 100 bytes, and its
    // continuations bring nothing more.
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin > 0)
            return HttpReply{server.normalReply(r, r.begin == 2001 ? 100 : 0), Then::Close};
        return std::nullopt;
    };
    download.HttpDownFile.RetryDelay = 1;
    run(server.url(), QStringLiteral("cut.bin"));
    EXPECT_EQ(download.LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_GT(download.HttpDownFile.TotalCount(), 0);
    EXPECT_EQ(statuses.last(), u("文件【cut.bin】下载失败"));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
    EXPECT_EQ(gauge.last(), 0);
    EXPECT_EQ(OpenHandlesOf(download.TargetPath()), 0);
}

TEST_F(FileDownloadTest, AFileThatExistedButSentNothingIsAFailureToo) {
    RangeServer server(Document(4000));
    server.script = [](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin >= 0)
            return HttpReply{"HTTP/1.0 503 Busy\r\nContent-Length: 0\r\n\r\n"};
        return std::nullopt;
    };
    run(server.url(), QStringLiteral("busy.bin"));
    EXPECT_EQ(download.HttpDownFile.TotalCount(), 0);
    EXPECT_EQ(statuses.last(), u("文件【busy.bin】下载失败"));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
}

// Site scripts answer a download they refuse with an empty 200 reply: a
// document of length 0 ends like a refused one.
TEST_F(FileDownloadTest, AZeroLengthFileEndsLikeARefusedOne) {
    RangeServer server{QByteArray()};
    run(server.url(), u("空文件.txt"));
    EXPECT_EQ(download.LastOutcome(), FileDownload::Outcome::Missing);
    EXPECT_EQ(statuses.last(), u("文件【空文件.txt】不存在"));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
    EXPECT_EQ(OpenHandlesOf(download.TargetPath()), 0);
    EXPECT_TRUE(QFileInfo::exists(download.TargetPath()));
    EXPECT_EQ(QFileInfo(download.TargetPath()).size(), 0);
}

TEST_F(FileDownloadTest, AnExistingFileIsNeverOverwritten) {
    WriteFileBytes(dir.filePath(QStringLiteral("a.tar.gz")), "keep me");
    RangeServer server(Document(5000));
    run(server.url(), QStringLiteral("a.tar.gz"));
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("a.tar.gz"))), "keep me");
    const QString name = QFileInfo(download.TargetPath()).fileName();
    EXPECT_TRUE(name.startsWith(QStringLiteral("a.tar_")) && name.endsWith(QStringLiteral(".gz")) && name.size() == 11)
        << name.toStdString();
    EXPECT_EQ(ReadFileBytes(download.TargetPath()), server.document());
    // The status texts keep the name the download was started with.
    EXPECT_EQ(statuses.last(), u("文件【a.tar.gz】下载完成"));
}

TEST_F(FileDownloadTest, AFileThatCannotBeCreatedStartsNothingAndKeepsTheRunningDownload) {
    RangeServer server(Document(1000));
    server.script = [](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin >= 0)
            return HttpReply{QByteArray(), Then::Silence};
        return std::nullopt;
    };
    download.Start(server.url(), folder(), QStringLiteral("first.bin"));
    ASSERT_TRUE(WaitFor([&] { return download.HttpDownFile.state() == TMultipartHttpDownloader::State::RangesRunning; }));
    EXPECT_THROW(download.Start(server.url(), folder() + QStringLiteral("no/such/"), QStringLiteral("x")), EInOutError);
    EXPECT_EQ(download.Name(), QStringLiteral("first.bin"));
    EXPECT_EQ(download.HttpDownFile.state(), TMultipartHttpDownloader::State::RangesRunning);
    EXPECT_EQ(download.HttpDownFile.FileStream != nullptr, true);
    EXPECT_EQ(statuses, QStringList({u("文件【first.bin】下载中...")}));
}

TEST_F(FileDownloadTest, ASecondDownloadClosesTheFirstOnesFileAndOnlyTheSecondEnds) {
    RangeServer slow(Document(64 * 1024));
    // The ranges send their first 1000 bytes, then one byte every 200 ms.
    slow.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin < 0)
            return std::nullopt;
        const QByteArray bytes = slow.normalReply(r);
        return HttpReply{bytes, Then::Trickle, 200, int(bytes.indexOf("\r\n\r\n")) + 4 + 1000};
    };
    download.Start(slow.url(), folder(), QStringLiteral("first.bin"));
    const QString first = download.TargetPath();
    ASSERT_TRUE(WaitFor([&] { return download.HttpDownFile.TotalCount() >= 2000; }));
    EXPECT_EQ(OpenHandlesOf(first), 1);

    RangeServer fast(Document(3000));
    run(fast.url(), QStringLiteral("second.bin"));
    EXPECT_EQ(OpenHandlesOf(first), 0);
    EXPECT_GE(QFileInfo(first).size(), 1000);  // as far as it was written
    EXPECT_EQ(ReadFileBytes(download.TargetPath()), fast.document());
    EXPECT_EQ(statuses, QStringList({u("文件【first.bin】下载中..."), u("文件【second.bin】下载中..."),
                                     u("文件【second.bin】下载完成")}));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("ok.wav")}));
}

}  // namespace

namespace {

// A proxy that is down says nothing about the file: the status names the
// proxy instead of calling the file missing.
TEST_F(FileDownloadTest, AProxyThatIsDownIsNamedInTheStatus) {
    NetConnectorSettings settings;
    settings.proxyMode = NetConnectorSettings::ProxyMode::Fixed;
    const quint16 down = UnusedPort();
    settings.proxy = NetProxy{NetProxyType::Http, "127.0.0.1", down, {}, {}};
    NetConnector connector(settings);
    download.HttpDownFile.Connector = &connector;
    run("http://files.example/a.bin", QStringLiteral("a.bin"));
    EXPECT_EQ(download.LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_EQ(statuses.value(1),
              u("文件【a.bin】下载失败：代理服务器 127.0.0.1:%1 无法连接：Connection refused (Error #10061)").arg(down));
    EXPECT_EQ(sounds, QStringList({QStringLiteral("error.wav")}));
}

}  // namespace

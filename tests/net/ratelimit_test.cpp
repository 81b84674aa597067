// The program-wide rate limits on real transfers: ranges of a download from
// nginx sharing one download limit, a store to pyftpdlib under the upload
// limit. The bytes arrive unchanged, the limiter counts every byte that
// crossed the network, a change of the limit reaches a running transfer at
// once, the event loop keeps serving a timer meanwhile, and a slow limit does
// not look like a stalled server to the FTP client's blocking waits. Rates
// themselves are measured by scripts/bench-limits, not here.

#include "net/ftpclient.h"
#include "net/multipartdownloader.h"
#include "net/nestedwait.h"
#include "net/netconnector.h"
#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <iostream>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    return WaitWhileProcessingEvents(condition, [&] { return clock.elapsed() >= timeoutMs; }, 100) ==
           WaitOutcome::Done;
}

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(generator.bounded(256));
    return bytes;
}

// A 10 ms timer: how often it ran and how late it was at worst.
struct TimerWatch {
    TimerWatch() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 late = clock.restart() - 10;
            worstLateMs = std::max(worstLateMs, late);
            ++ticks;
        });
        clock.start();
        timer.start(10);
    }
    QTimer timer;
    QElapsedTimer clock;
    int ticks = 0;
    qint64 worstLateMs = 0;
};

NetConnectorSettings limits(qint64 uploadBytesPerSecond, qint64 downloadBytesPerSecond) {
    NetConnectorSettings settings;
    settings.uploadBytesPerSecond = uploadBytesPerSecond;
    settings.downloadBytesPerSecond = downloadBytesPerSecond;
    return settings;
}

class RateLimits : public testing::Test {
protected:
    QTemporaryDir root_, local_;
    NetConnector connector_;
};

TEST_F(RateLimits, RangesShareTheDownloadLimitArriveWholeAndALiftedLimitFreesThemAtOnce) {
    const QByteArray document = randomBytes(1'500'000, 3);
    WriteFileBytes(root_.filePath(QStringLiteral("doc.bin")), document);
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root_.path())) << nginx.error().toStdString();

    const auto download = [&](const QString& name, int parts, const std::function<void()>& onRangesStart) {
        TMultipartHttpDownloader downloader;
        downloader.Connector = &connector_;
        downloader.URL = nginx.baseUrl() + "/doc.bin";
        downloader.PartCount = parts;
        QFile target(local_.filePath(name));
        EXPECT_TRUE(target.open(QIODevice::ReadWrite));
        downloader.FileStream = &target;
        int code = 0;
        downloader.OnRequestDone = [&](TMultipartHttpDownloader&, int errorCode, const QByteArray&) { code = errorCode; };
        downloader.OnProgressAddSegment = [&](TMultipartHttpDownloader&, qint64, qint64, qint64) { onRangesStart(); };
        downloader.Start();
        EXPECT_TRUE(waitUntil([&] { return code != 0; }, 60000));
        EXPECT_EQ(code, 200);
        return ReadFileBytes(target.fileName());
    };

    // 1 MiB/s for 1.5 MB over four ranges: the limiter passes every byte
    // of the document once, and what the size probe took in before it was
    // dropped (the replies' headers, the first bytes of its body).
    connector_.Apply(limits(0, 1 << 20));
    TimerWatch watch;
    const qint64 before = connector_.DownloadLimiter().PassedBytes();
    EXPECT_TRUE(download(QStringLiteral("a.bin"), 4, [] {}) == document);
    const qint64 passed = connector_.DownloadLimiter().PassedBytes() - before;
    EXPECT_GE(passed, document.size());
    EXPECT_LT(passed, document.size() + 512 * 1024);
    EXPECT_GT(watch.ticks, 0);
    std::cout << "timer ticks " << watch.ticks << ", worst lateness " << watch.worstLateMs << " ms\n";

    // 16 KiB/s would take a minute and a half; the limit lifted when the
    // ranges start lets them finish at once.
    connector_.Apply(limits(0, 16 * 1024));
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(download(QStringLiteral("b.bin"), 2, [&] { connector_.Apply(NetConnectorSettings{}); }) == document);
    EXPECT_LT(clock.elapsed(), 30000);
}

TEST_F(RateLimits, AStoreUnderTheUploadLimitArrivesWholeAndKeepsTheBlockingWaitAlive) {
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().constData();
    TFtpClient ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = QByteArray::number(server.port());
    ftp.UserName = "quellix";
    ftp.PassWord = "secret";
    ftp.HostDirName = "/";
    ftp.Passive = true;
    ftp.Connector = &connector_;
    const QByteArray bytes = randomBytes(96 * 1024, 5);
    WriteFileBytes(local_.filePath(QStringLiteral("up.bin")), bytes);
    ftp.LocalFileName = local_.filePath(QStringLiteral("up.bin"));
    ftp.HostFileName = "up.bin";

    // As the upload run does: the whole dialogue inside the blocking Open,
    // each completion starting the next request. A 32 KiB block takes two
    // seconds at 16 KiB/s, twice the time-out; the bytes the limit lets
    // through keep the wait alive.
    ftp.Timeout = 1;
    QList<TFtpRequest> done;
    QList<quint16> codes;
    ftp.OnRequestDone = [&](TFtpClient& sender, TFtpRequest rq, quint16 code) {
        done << rq;
        codes << code;
        if (code != 0)
            return;
        switch (rq) {
        case ftpOpenAsync: sender.UserAsync(); break;
        case ftpUserAsync: sender.PassAsync(); break;
        case ftpPassAsync: sender.TypeSetAsync(); break;
        case ftpTypeSetAsync: sender.PutAsync(); break;
        default: break;
        }
    };
    connector_.Apply(limits(16 * 1024, 0));
    TimerWatch watch;
    EXPECT_TRUE(ftp.Open()) << ftp.ErrorMessage().constData();
    EXPECT_EQ(done.value(4), ftpPutAsync);
    EXPECT_EQ(codes.value(4), 0) << ftp.ErrorMessage().constData();
    EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("up.bin"))) == bytes);
    EXPECT_EQ(connector_.UploadLimiter().PassedBytes(), bytes.size());  // the data connection's bytes only
    EXPECT_GT(watch.ticks, 0);
    std::cout << "timer ticks " << watch.ticks << ", worst lateness " << watch.worstLateMs << " ms\n";

    // At 1 KiB/s the file would take a minute and a half: the limit lifted
    // once the server holds the first bytes lets the store finish at once.
    ftp.Timeout = 20;
    ftp.HostFileName = "again.bin";
    connector_.Apply(limits(1024, 0));
    const qsizetype before = codes.size();
    ftp.PutAsync();
    const QString again = server.filePath(QStringLiteral("again.bin"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(again).size() > 0; }, 10000));
    EXPECT_LT(QFileInfo(again).size(), bytes.size());
    connector_.Apply(NetConnectorSettings{});
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return codes.size() > before; }, 30000));
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(codes.last(), 0) << ftp.ErrorMessage().constData();
    EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("again.bin"))) == bytes);
}

}  // namespace

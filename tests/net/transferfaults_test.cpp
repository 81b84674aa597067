// Transfers through the fault-injecting proxy to real servers: what a user
// on a flaky network meets. The result must be byte-identical and broken
// transfers must continue, not start over.

#include "net/multipartdownloader.h"
#include "net/nestedwait.h"
#include "support/faultproxy.h"
#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Document(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qsizetype i = 0; i + 8 <= size; i += 8) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        memcpy(bytes.data() + i, &x, 8);
    }
    return bytes;
}

// Runs one download with the downloader's defaults into `path`; the code of
// its end.
int Download(const QByteArray& url, const QString& path, int stallTimeoutMs = 30000, int timeoutMs = 120000) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    TMultipartHttpDownloader d;
    d.StallTimeout = stallTimeoutMs;
    d.URL = url;
    d.PartCount = 2;
    d.FileStream = &file;
    int code = -1;
    d.OnRequestDone = [&](TMultipartHttpDownloader&, int errorCode, const QByteArray&) { code = errorCode; };
    d.Start();
    const QDeadlineTimer deadline(timeoutMs);
    WaitWhileProcessingEvents([&] { return code != -1; }, [&] { return deadline.hasExpired(); }, 100);
    return code;
}

TEST(TransferFaults, ADownloadCutEveryFewMiBContinuesAndArrivesWhole) {
    QTemporaryDir root;
    const QByteArray doc = Document(64 << 20);
    WriteFileBytes(root.filePath(QStringLiteral("big.bin")), doc);
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path())) << nginx.error().toStdString();
    FaultProxy proxy(nginx.port(), {QStringLiteral("--every"), QStringLiteral("4M-8M"), QStringLiteral("--seed"),
                                    QStringLiteral("7"), QStringLiteral("--count"), QStringLiteral("down")});
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("big.bin"));
    ASSERT_EQ(Download("http://127.0.0.1:" + QByteArray::number(proxy.port()) + "/big.bin", path), 200);
    EXPECT_TRUE(ReadFileBytes(path) == doc);
    // Continuation, not restart: the servers sent little more than the file.
    ASSERT_TRUE(WaitFor([&] { return proxy.totalDown() >= doc.size(); }));
    EXPECT_GE(proxy.faults(), 8);
    EXPECT_LT(proxy.totalDown(), doc.size() * 12 / 10);
}

TEST(TransferFaults, AStalledOrResetRangeIsContinuedWhereItStood) {
    QTemporaryDir root;
    const QByteArray doc = Document(8 << 20);
    WriteFileBytes(root.filePath(QStringLiteral("big.bin")), doc);
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path())) << nginx.error().toStdString();
    for (const QString& fault : {QStringLiteral("stall:3000"), QStringLiteral("reset")}) {
        FaultProxy proxy(nginx.port(), {QStringLiteral("--at"), QStringLiteral("1M,5M"), QStringLiteral("--fault"),
                                        fault, QStringLiteral("--count"), QStringLiteral("down")});
        ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("big.bin"));
        // A stall outlasts the downloader's patience: the range is given up
        // and continued on a new connection.
        ASSERT_EQ(Download("http://127.0.0.1:" + QByteArray::number(proxy.port()) + "/big.bin", path, 500), 200);
        EXPECT_TRUE(ReadFileBytes(path) == doc);
        EXPECT_TRUE(WaitFor([&] { return proxy.faults() == 2; })) << fault.toStdString();
    }
}

TEST(TransferFaults, AServerWithoutRangesIsReadInOneStream) {
    QTemporaryDir root;
    const QByteArray doc = Document(8 << 20);
    WriteFileBytes(root.filePath(QStringLiteral("big.bin")), doc);
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path(), false, "max_ranges 0;\n")) << nginx.error().toStdString();
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("big.bin"));
    ASSERT_EQ(Download(nginx.baseUrl() + "/big.bin", path), 200);
    EXPECT_TRUE(ReadFileBytes(path) == doc);
    // The probe, the first range (its 200 became the transfer), and at most
    // a few refused attempts at the second range.
    const QList<QByteArray> requests = nginx.accessLog().split('\n');
    EXPECT_LE(requests.count(QByteArray()), 1);
    EXPECT_LE(requests.size(), 8);
}

// quellix-tool ftp-put of `local` as `remote` through the proxy.
ProcessResult FtpPut(const FaultProxy& proxy, const QString& local, const QString& remote) {
    return RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"),
                      {QStringLiteral("ftp-put"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                       QStringLiteral("--port"), QString::number(proxy.port()), QStringLiteral("--user"),
                       QStringLiteral("quellix"), QStringLiteral("--pass"), QStringLiteral("secret"),
                       QStringLiteral("--dir"), QStringLiteral("/"), QStringLiteral("--passive"),
                       QStringLiteral("--timeout"), QStringLiteral("10"), QStringLiteral("--retry-wait"),
                       QStringLiteral("0.05"), local, remote},
                      120000);
}

TEST(TransferFaults, AnUploadCutTwiceIsRetriedAndContinuedToTheWholeFile) {
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("big.bin"));
    const QByteArray doc = Document(64 << 20);
    WriteFileBytes(local, doc);
    // The data connection cut twice in the middle; the control connection
    // cut twice right after STOR went out.
    const QList<QStringList> plans = {
        {QStringLiteral("--faults-on"), QStringLiteral("data"), QStringLiteral("--at"), QStringLiteral("20M,40M")},
        {QStringLiteral("--faults-on"), QStringLiteral("control"), QStringLiteral("--after-text"),
         QStringLiteral("STOR "), QStringLiteral("--after-text"), QStringLiteral("STOR ")},
    };
    for (const QStringList& plan : plans) {
        PyFtpServer server;
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        FaultProxy proxy(server.port(), QStringList{QStringLiteral("--ftp"), QStringLiteral("--count"),
                                                    QStringLiteral("up")} + plan);
        ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
        const ProcessResult r = FtpPut(proxy, local, QStringLiteral("big.bin"));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        // Cuts after bytes went out are followed at once; cuts before any
        // byte wait, longer each time.
        if (plan.contains(QStringLiteral("data"))) {
            EXPECT_EQ(r.err.count("); continuing\n"), 2) << r.err.toStdString();
        } else {
            EXPECT_TRUE(r.err.contains("; retry 1 of 3 in 0.05 s") && r.err.contains("; retry 2 of 3 in 0.125 s"))
                << r.err.toStdString();
            EXPECT_FALSE(r.err.contains("retry 3 of 3"));
        }
        EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("big.bin"))) == doc);
    }
}

TEST(TransferFaults, AStoreRefusedByTheServerFailsAtOnceWithoutRetries) {
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("small.bin"));
    WriteFileBytes(local, Document(4096));
    PyFtpServer server;
    ASSERT_TRUE(server.isRunning()) << server.error().constData();
    FaultProxy proxy(server.port(), {});
    const ProcessResult r = FtpPut(proxy, local, QStringLiteral("no-such-folder/small.bin"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("ErrCode: 550\n")) << r.out.toStdString();
    EXPECT_FALSE(r.err.contains("retry")) << r.err.toStdString();
}

// A link with latency and a rate cap (the proxy's --delay and --rate) that
// also breaks: the shaping holds back bytes the cut must still deliver
// first, and passive data connections must still be rewritten.
TEST(TransferFaults, AShapedLinkThatBreaksStillCarriesUploadsAndDownloadsWhole) {
    QTemporaryDir dir;
    // Large enough that the cut falls while the client is still sending,
    // beyond what the system's buffers and the proxy hold.
    const QByteArray doc = Document(24 << 20);
    const QStringList link = {QStringLiteral("--delay"), QStringLiteral("5"), QStringLiteral("--rate"),
                              QStringLiteral("32M"), QStringLiteral("--at"), QStringLiteral("2M")};
    const QString local = dir.filePath(QStringLiteral("doc.bin"));
    WriteFileBytes(local, doc);
    {
        PyFtpServer server;
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        FaultProxy proxy(server.port(), QStringList{QStringLiteral("--ftp"), QStringLiteral("--count"),
                                                    QStringLiteral("up"), QStringLiteral("--faults-on"),
                                                    QStringLiteral("data")} + link);
        ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
        const ProcessResult r = FtpPut(proxy, local, QStringLiteral("doc.bin"));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.err.count("); continuing\n"), 1) << r.err.toStdString();
        EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("doc.bin"))) == doc);
    }
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(dir.path())) << nginx.error().toStdString();
    FaultProxy proxy(nginx.port(), QStringList{QStringLiteral("--count"), QStringLiteral("down")} + link);
    ASSERT_TRUE(proxy.isRunning()) << proxy.error().toStdString();
    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("doc.bin"));
    ASSERT_EQ(Download("http://127.0.0.1:" + QByteArray::number(proxy.port()) + "/doc.bin", path), 200);
    EXPECT_EQ(proxy.faults(), 1);
    EXPECT_TRUE(ReadFileBytes(path) == doc);
}

}  // namespace

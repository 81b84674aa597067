// TFtpClient against a real FTP server (pyftpdlib on 127.0.0.1): stores in
// both modes, SIZE, a store aborted in the middle and resumed with REST, and
// a refused log-in.

#include "net/ftpclient.h"
#include "net/nestedwait.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QRandomGenerator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Waits like the client's own blocking forms: the thread sleeps only while
// nothing happens (the test helper WaitFor pauses between event batches,
// which would hold a streaming store to one block per pause).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    return WaitWhileProcessingEvents(condition, [&] { return clock.elapsed() >= timeoutMs; }, 100) ==
           WaitOutcome::Done;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    auto* words = reinterpret_cast<quint32*>(bytes.data());
    QRandomGenerator::global()->fillRange(words, size / 4);
    return bytes;
}

class FtpRealServerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        ftp.HostName = "127.0.0.1";
        ftp.Port = QByteArray::number(server.port());
        ftp.UserName = "quellix";
        ftp.PassWord = "secret";
        ftp.HostDirName = "/";
        ftp.Timeout = 10;
        ftp.OnRequestDone = [this](TFtpClient&, TFtpRequest rqType, quint16 errCode) {
            done.append(rqType);
            codes.append(errCode);
        };
        ftp.OnDisplay = [this](TFtpClient&, QByteArray& msg) { shown.append(msg); };
    }

    void logIn() {
        ASSERT_TRUE(ftp.Open()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.User()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.Pass()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.Cwd());
        ASSERT_TRUE(ftp.TypeSet());
    }

    // Starts a store and waits for its completion code.
    quint16 store(bool rest) {
        const qsizetype before = codes.size();
        rest ? ftp.RestPutAsync() : ftp.PutAsync();
        EXPECT_TRUE(waitUntil([&] { return codes.size() > before; }, 60000));
        return codes.size() > before ? codes.last() : quint16(65535);
    }

    QString localFile(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("local.bin"));
        WriteFileBytes(path, content);
        return path;
    }

    PyFtpServer server;
    TFtpClient ftp;
    QTemporaryDir dir;
    QList<TFtpRequest> done;
    QList<quint16> codes;
    QList<QByteArray> shown;
};

TEST_F(FtpRealServerTest, PassiveAndActiveStoresArriveByteIdenticalAndSizeReportsThem) {
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 123);
    ftp.LocalFileName = localFile(content);
    logIn();
    for (const bool passive : {true, false}) {
        const QByteArray name = passive ? "passive.bin" : "active.bin";
        ftp.Passive = passive;
        ftp.HostFileName = name;
        EXPECT_EQ(store(false), 0) << ftp.LastResponse().constData();
        EXPECT_TRUE(ReadFileBytes(server.filePath(QString::fromLatin1(name))) == content) << name.constData();
        EXPECT_TRUE(ftp.Size());
        EXPECT_EQ(ftp.SizeResult(), content.size());
    }
    ftp.HostFileName = "missing.bin";
    EXPECT_FALSE(ftp.Size());
    EXPECT_EQ(ftp.SizeResult(), 0);
    EXPECT_TRUE(ftp.Quit());
    EXPECT_FALSE(ftp.Connected());
}

// As the upload run resumes: abort in the middle, connect again, ask SIZE,
// and continue with REST from the size the server holds. The abort waits
// until the server has written a part: what the client has sent may still
// sit in the system's socket buffers.
TEST_F(FtpRealServerTest, AStoreAbortedInTheMiddleResumesWithRestToAByteIdenticalFile) {
    const QByteArray content = randomBytes(32 * 1024 * 1024);
    ftp.LocalFileName = localFile(content);
    ftp.HostFileName = "resumed.bin";
    ftp.Passive = true;
    const QString remote = server.filePath(QStringLiteral("resumed.bin"));
    ftp.OnProgress64 = [&](TFtpClient&, qint64, bool& abort) { abort = QFileInfo(remote).size() >= 1024 * 1024; };
    logIn();
    EXPECT_EQ(store(false), 426);
    EXPECT_FALSE(ftp.Connected());

    ftp.OnProgress64 = nullptr;
    logIn();
    ASSERT_TRUE(ftp.Size());
    const qint64 held = ftp.SizeResult();
    EXPECT_GT(held, 0);
    EXPECT_LT(held, content.size());
    ftp.ResumeAt = held;
    EXPECT_EQ(store(true), 0) << ftp.LastResponse().constData();
    EXPECT_TRUE(shown.contains("> REST " + QByteArray::number(held)));
    EXPECT_TRUE(ReadFileBytes(server.filePath(QStringLiteral("resumed.bin"))) == content);
    EXPECT_EQ(ftp.ResumeAt, 0);
}

TEST_F(FtpRealServerTest, AWrongPasswordFailsTheLogIn) {
    ftp.PassWord = "wrong";
    ASSERT_TRUE(ftp.Open());
    ASSERT_TRUE(ftp.User());
    EXPECT_FALSE(ftp.Pass());
    EXPECT_EQ(ftp.StatusCode(), 530);
    EXPECT_EQ(done.last(), ftpPassAsync);
    EXPECT_EQ(codes.last(), 530);
}

}  // namespace

// TFtpClient with explicit TLS against pyftpdlib's TLS handler, with a
// certificate made by the test (for "localhost") and trusted, or not,
// through ExtraCaCertificates. The server's log of received commands shows
// what crossed the wire: above all, that no password went out unprotected.

#include "net/ftpclient.h"
#include "net/nestedwait.h"
#include "net/socketerror.h"
#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    return WaitWhileProcessingEvents(condition, [&] { return clock.elapsed() >= timeoutMs; }, 100) ==
           WaitOutcome::Done;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

enum class ServerTls { None, Offered, Required };

class FtpTlsTest : public testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(MakeSelfSignedCertificate(certFile(), keyFile(), error)) << error.toStdString();
        ftp.HostName = "localhost";
        ftp.UserName = "quellix";
        ftp.PassWord = "secret";
        ftp.HostDirName = "/";
        ftp.Timeout = 10;
        ftp.TlsMode = TFtpTlsMode::IfOffered;
        ftp.OnRequestDone = [this](TFtpClient&, TFtpRequest rqType, quint16 errCode) {
            done.append(rqType);
            codes.append(errCode);
        };
        ftp.OnDisplay = [this](TFtpClient&, QByteArray& msg) { shown.append(msg); };
    }

    void startServer(ServerTls tls) {
        QStringList options;
        if (tls != ServerTls::None)
            options << QStringLiteral("--tls-cert") << certFile() << QStringLiteral("--tls-key") << keyFile();
        if (tls == ServerTls::Required)
            options << QStringLiteral("--tls-required");
        server = std::make_unique<PyFtpServer>("quellix", "secret", options);
        ASSERT_TRUE(server->isRunning()) << server->error().constData();
        ftp.Port = QByteArray::number(server->port());
    }

    void trustCertificate() { ASSERT_EQ(ftp.AddTrustedCertificates(certFile()), 1); }

    void logIn() {
        ASSERT_TRUE(ftp.Open()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.User()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.Pass()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.Cwd());
        ASSERT_TRUE(ftp.TypeSet());
    }

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
    QString certFile() const { return dir.filePath(QStringLiteral("cert.pem")); }
    QString keyFile() const { return dir.filePath(QStringLiteral("key.pem")); }
    QList<QByteArray> loggedInTls() const {
        return {"AUTH TLS", "USER quellix", "PASS secret", "PBSZ 0", "PROT P", "CWD /", "TYPE I"};
    }

    QTemporaryDir dir;
    std::unique_ptr<PyFtpServer> server;
    TFtpClient ftp;
    QList<TFtpRequest> done;
    QList<quint16> codes;
    QList<QByteArray> shown;
};

TEST_F(FtpTlsTest, AServerRequiringTlsGetsByteIdenticalStoresInPassiveAndActiveMode) {
    startServer(ServerTls::Required);
    trustCertificate();
    ftp.TlsMode = TFtpTlsMode::Required;
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 123);
    ftp.LocalFileName = localFile(content);
    logIn();
    EXPECT_TRUE(ftp.TlsActive());
    EXPECT_TRUE(ftp.DataProtected());
    EXPECT_TRUE(ftp.TlsDescription().startsWith("TLSv1.")) << ftp.TlsDescription().constData();
    for (const bool passive : {true, false}) {
        const QByteArray name = passive ? "passive.bin" : "active.bin";
        ftp.Passive = passive;
        ftp.HostFileName = name;
        EXPECT_EQ(store(false), 0) << ftp.LastResponse().constData();
        EXPECT_TRUE(ReadFileBytes(server->filePath(QString::fromLatin1(name))) == content) << name.constData();
        EXPECT_TRUE(ftp.Size());
        EXPECT_EQ(ftp.SizeResult(), content.size());
    }
    EXPECT_TRUE(ftp.Quit());
    EXPECT_EQ(shown.count("! Data connection secured with TLS"), 2);
    const QList<QByteArray> commands = server->commands();
    ASSERT_EQ(commands.size(), 14) << commands.join(" | ").constData();
    EXPECT_EQ(commands.mid(0, 7), loggedInTls());
    EXPECT_EQ(commands.at(7), "PASV");
    EXPECT_EQ(commands.at(8), "STOR passive.bin");
    EXPECT_EQ(commands.at(9), "SIZE passive.bin");
    EXPECT_TRUE(commands.at(10).startsWith("PORT 127,0,0,1,")) << commands.at(10).constData();
    EXPECT_EQ(commands.mid(11), (QList<QByteArray>{"STOR active.bin", "SIZE active.bin", "QUIT"}));
}

// As the upload run resumes: abort in the middle, log in again over TLS,
// ask SIZE and continue with REST.
TEST_F(FtpTlsTest, AStoreAbortedOverTlsResumesWithRestToAByteIdenticalFile) {
    startServer(ServerTls::Required);
    trustCertificate();
    const QByteArray content = randomBytes(24 * 1024 * 1024);
    ftp.LocalFileName = localFile(content);
    ftp.HostFileName = "resumed.bin";
    ftp.Passive = true;
    const QString remote = server->filePath(QStringLiteral("resumed.bin"));
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
    EXPECT_TRUE(ReadFileBytes(remote) == content);
    const QList<QByteArray> commands = server->commands();
    const QList<QByteArray> resumed{"SIZE resumed.bin", "PASV", "REST " + QByteArray::number(held),
                                    "STOR resumed.bin"};
    EXPECT_EQ(commands.mid(commands.size() - 11), loggedInTls() + resumed) << commands.join(" | ").constData();
}

TEST_F(FtpTlsTest, AServerWithoutTlsWorksWhenTlsIsOfferedOnlyAndIsRefusedWhenRequired) {
    startServer(ServerTls::None);
    const QByteArray content = randomBytes(100000);
    ftp.LocalFileName = localFile(content);
    ftp.HostFileName = "plain.bin";
    ftp.Passive = true;
    logIn();
    // Open ends on the greeting, as without TLS.
    EXPECT_EQ(done.first(), ftpOpenAsync);
    EXPECT_EQ(codes.first(), 0);
    EXPECT_FALSE(ftp.TlsActive());
    EXPECT_EQ(store(false), 0) << ftp.LastResponse().constData();
    EXPECT_TRUE(ReadFileBytes(server->filePath(QStringLiteral("plain.bin"))) == content);
    EXPECT_TRUE(ftp.Quit());
    EXPECT_EQ(server->commands(), (QList<QByteArray>{"AUTH TLS", "USER quellix", "PASS secret", "CWD /", "TYPE I",
                                                     "PASV", "STOR plain.bin", "QUIT"}));

    ftp.TlsMode = TFtpTlsMode::Required;
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(codes.last(), 534);
    EXPECT_TRUE(ftp.ErrorMessage().startsWith("534 TLS required, but the server refused AUTH TLS: 500 "))
        << ftp.ErrorMessage().constData();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(ftp.User());
    EXPECT_EQ(server->commands().mid(8), QList<QByteArray>{"AUTH TLS"});
}

// The server offers TLS and would take the password in plain text too: a
// certificate nobody vouches for ends the connection before USER.
TEST_F(FtpTlsTest, AnUntrustedCertificateOrAnotherHostsCertificateGetsNoPassword) {
    startServer(ServerTls::Offered);
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(done.last(), ftpOpenAsync);
    EXPECT_EQ(codes.last(), TlsError::CertificateRejected);
    EXPECT_EQ(ftp.TlsFailure(), "certificate not trusted");
    EXPECT_EQ(ftp.ErrorMessage(), "500 TLS certificate rejected - certificate not trusted");
    EXPECT_EQ(ftp.StatusCode(), 500);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(ftp.User());
    EXPECT_FALSE(ftp.Pass());

    // Trusted, but made for "localhost", not for the address asked for.
    trustCertificate();
    ftp.HostName = "127.0.0.1";
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(codes.last(), TlsError::CertificateRejected);
    EXPECT_EQ(ftp.TlsFailure(), "host name mismatch");
    EXPECT_FALSE(ftp.Connected());

    EXPECT_TRUE(waitUntil([&] { return server->commands().size() == 2; }, 5000));
    EXPECT_EQ(server->commands(), (QList<QByteArray>{"AUTH TLS", "AUTH TLS"}));
    for (const QByteArray& line : shown)
        EXPECT_FALSE(line.startsWith("> USER") || line.startsWith("> PASS")) << line.constData();
}

}  // namespace

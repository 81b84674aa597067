// quellix-tool ftp-put against pyftpdlib, run as a user runs it.

#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class FtpPutCommand : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.error().constData();
        content = QByteArray(300000, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(content.data()), content.size() / 4);
        local = dir.filePath(QStringLiteral("local.bin"));
        WriteFileBytes(local, content);
    }

    ProcessResult put(QStringList extra, const QString& password = QStringLiteral("secret")) {
        QStringList args{QStringLiteral("ftp-put"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--user"),
                         QStringLiteral("quellix"), QStringLiteral("--pass"), password, QStringLiteral("--dir"),
                         QStringLiteral("/"), QStringLiteral("--timeout"), QStringLiteral("10")};
        args += extra;
        args += {local, QStringLiteral("remote.bin")};
        return RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"), args);
    }

    QByteArray remote() const { return ReadFileBytes(server.filePath(QStringLiteral("remote.bin"))); }

    PyFtpServer server;
    QTemporaryDir dir;
    QString local;
    QByteArray content;
};

TEST_F(FtpPutCommand, StoresTheFileAndPrintsTheResultLines) {
    for (const QString& mode : {QStringLiteral("--passive"), QStringLiteral("--active")}) {
        const ProcessResult r = put({mode, QStringLiteral("--verbose")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, "ErrCode: 0\nStatusCode: 221\nLastResponse: 221 Goodbye.\n");
        EXPECT_TRUE(remote() == content);
        EXPECT_TRUE(r.err.contains("100.0%  300000 of 300000 bytes")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(mode == QStringLiteral("--passive") ? "> PASV" : "> PORT 127,0,0,1,"));
        EXPECT_TRUE(r.err.contains("> PASS ******"));
    }
}

TEST_F(FtpPutCommand, WithResumeSkipsACompleteFileAndContinuesAPartialOne) {
    WriteFileBytes(server.filePath(QStringLiteral("remote.bin")), content.left(123457));
    ProcessResult r = put({QStringLiteral("--resume"), QStringLiteral("--verbose")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("> REST 123457"));
    EXPECT_TRUE(remote() == content);

    r = put({QStringLiteral("--resume"), QStringLiteral("--verbose")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Remote file is complete (300000 bytes); nothing to send"));
    EXPECT_FALSE(r.err.contains("> STOR"));
}

TEST_F(FtpPutCommand, AFailedLogInExitsWithItsCode) {
    const ProcessResult r = put({}, QStringLiteral("wrong"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("ErrCode: 530\nStatusCode: 530\nLastResponse: 530 ")) << r.out.toStdString();
    EXPECT_TRUE(remote().isEmpty());
}

// --tls require with --cacert against a server that requires TLS; the same
// against a server without TLS stops before the log-in.
TEST_F(FtpPutCommand, WithTlsRequireStoresOverVerifiedTlsAndRefusesAServerWithoutIt) {
    const QString cert = dir.filePath(QStringLiteral("cert.pem")), key = dir.filePath(QStringLiteral("key.pem"));
    QString error;
    ASSERT_TRUE(MakeSelfSignedCertificate(cert, key, error)) << error.toStdString();
    PyFtpServer tlsServer("quellix", "secret",
                          {QStringLiteral("--tls-cert"), cert, QStringLiteral("--tls-key"), key,
                           QStringLiteral("--tls-required")});
    ASSERT_TRUE(tlsServer.isRunning()) << tlsServer.error().constData();
    const QStringList args{QStringLiteral("ftp-put"), QStringLiteral("--host"), QStringLiteral("localhost"),
                           QStringLiteral("--port"), QString::number(tlsServer.port()), QStringLiteral("--user"),
                           QStringLiteral("quellix"), QStringLiteral("--pass"), QStringLiteral("secret"),
                           QStringLiteral("--dir"), QStringLiteral("/"), QStringLiteral("--tls"),
                           QStringLiteral("require"), QStringLiteral("--cacert"), cert, local,
                           QStringLiteral("remote.bin")};
    ProcessResult r = RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"), args);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("TLS: TLSv1.")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(", data protected\nErrCode: 0\n")) << r.out.toStdString();
    EXPECT_TRUE(ReadFileBytes(tlsServer.filePath(QStringLiteral("remote.bin"))) == content);

    // Without --cacert the certificate is nobody's.
    r = RunProcess(ProgramDir() + QStringLiteral("/quellix-tool"), args.mid(0, 13) + args.mid(15));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("TLS: failed, certificate not trusted\nErrCode: 12045\n")) << r.out.toStdString();

    r = put({QStringLiteral("--tls"), QStringLiteral("require")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.startsWith("ErrCode: 534\nStatusCode: 534\n")) << r.out.toStdString();
    EXPECT_EQ(server.commands(), QList<QByteArray>{"AUTH TLS"});
    EXPECT_TRUE(remote().isEmpty());
}

}  // namespace

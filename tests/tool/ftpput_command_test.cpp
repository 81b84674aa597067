// quellix-tool ftp-put against pyftpdlib, run as a user runs it.

#include "support/nginxserver.h"
#include "support/pyftpserver.h"
#include "support/testutil.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

    // ftp-put with the password taken as `extra` says, in `environment`.
    QStringList withoutPassword(const QStringList& extra) const {
        return QStringList{QStringLiteral("ftp-put"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--port"), QString::number(server.port()), QStringLiteral("--user"),
                           QStringLiteral("quellix"), QStringLiteral("--dir"), QStringLiteral("/")} +
               extra + QStringList{local, QStringLiteral("remote.bin")};
    }
    static QProcessEnvironment environment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QUELLIX_FTP_PASSWORD"));
        return env;
    }
    ProcessResult runTool(const QStringList& args, const QProcessEnvironment& env) {
        QProcess tool;
        EndWithThisProcess(tool);
        tool.setProcessEnvironment(env);
        tool.start(ProgramDir() + QStringLiteral("/quellix-tool"), args);
        ProcessResult result;
        if (!tool.waitForStarted())
            return result;
        tool.closeWriteChannel();
        result.finished = tool.waitForFinished(60000);
        result.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        result.out = tool.readAllStandardOutput();
        result.err = tool.readAllStandardError();
        return result;
    }

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

// A home folder on NFS without a lock service: flock fails with ENOLCK, or
// with EBADF on mounts that lock through fcntl. The file is sent without
// the lock rather than refused.
TEST_F(FtpPutCommand, AFileSystemThatCannotLockDoesNotKeepTheFileFromBeingSent) {
    for (const int error : {ENOLCK, EBADF}) {
        QFile::remove(server.filePath(QStringLiteral("remote.bin")));
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QUELLIX_NOLOCK_PRELOAD));
        env.insert(QStringLiteral("QUELLIX_TEST_FLOCK_ERRNO"), QString::number(error));
        // Sanitizer builds want their runtime first; the stand-in comes first here.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        env.insert(QStringLiteral("QUELLIX_FTP_PASSWORD"), QStringLiteral("secret"));
        const ProcessResult r = runTool(withoutPassword({}), env);
        EXPECT_EQ(r.exitCode, 0) << error << ": " << r.out.toStdString() << r.err.toStdString();
        EXPECT_TRUE(remote() == content) << error;
    }
}

// The password from a file or the environment; --pass still works, with a
// warning, since the process list shows it to every user.
TEST_F(FtpPutCommand, ThePasswordComesFromAFileOrTheEnvironmentAndPassWarns) {
    const QString passwordFile = dir.filePath(QStringLiteral("password"));
    WriteFileBytes(passwordFile, "secret\nnot this line\n");
    ProcessResult r = runTool(withoutPassword({QStringLiteral("--password-file"), passwordFile}), environment());
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("warning"));

    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("QUELLIX_FTP_PASSWORD"), QStringLiteral("secret"));
    r = runTool(withoutPassword({}), env);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("warning"));

    r = runTool(withoutPassword({QStringLiteral("--pass"), QStringLiteral("secret")}), environment());
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("ftp-put: warning: --pass shows the password to every user of this machine (ps, "
                                 "/proc); use --password-file FILE or QUELLIX_FTP_PASSWORD\n"))
        << r.err.toStdString();

    // No terminal to ask on.
    r = runTool(withoutPassword({}), environment());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "ftp-put: no password: give --password-file FILE or set QUELLIX_FTP_PASSWORD\n");
    EXPECT_TRUE(remote() == content);
}

// The prompt hides the typing on a terminal, gives the echo back for the
// time Ctrl+Z stops the program and when Ctrl+\ ends it.
TEST_F(FtpPutCommand, ThePasswordPromptGivesTheTerminalBackOnCtrlZAndCtrlBackslash) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray terminalName = ::ptsname(master);
    const int terminal = ::open(terminalName.constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    const auto echoing = [&] {
        termios settings{};
        return ::tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
    };
    const auto state = [](qint64 pid) {
        const QByteArray stat = ReadFileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.mid(stat.lastIndexOf(')') + 2, 1);
    };
    // Where the tool stands when it did not stop: its process group, its
    // session, its parent's, and its signal masks.
    const auto processFacts = [](qint64 pid) {
        const auto stat = [](qint64 of) {
            const QByteArray text = ReadFileBytes(QStringLiteral("/proc/%1/stat").arg(of));
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            // state, parent, process group, session, terminal, its group
            return fields.mid(0, 6).join(' ');
        };
        QByteArray facts = "tool: " + stat(pid);
        const QByteArray parent = stat(pid).split(' ').value(1);
        facts += "\nparent " + parent + ": " + stat(parent.toLongLong());
        facts += "\nthis test " + QByteArray::number(::getpid()) + ": " + stat(::getpid());
        for (const QByteArray& line : ReadFileBytes(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
            if (line.startsWith("Sig"))
                facts += "\n" + line;
        return facts.toStdString();
    };
    const auto prompted = [&](QProcess& tool) {
        tool.setProcessEnvironment(environment());
        tool.setStandardInputFile(QString::fromLocal8Bit(terminalName));
        // A process group of its own, whose parent is in this session: a
        // group the shell could stop and continue as a job. (In this test's
        // own group the kernel drops the stop whenever that group is
        // orphaned, as a job whose shell has gone is.)
        EndWithThisProcess(tool, SIGKILL, ChildGroup::OwnGroup);
        tool.start(ProgramDir() + QStringLiteral("/quellix-tool"), withoutPassword({}));
        QByteArray err;
        return WaitFor([&] {
            err += tool.readAllStandardError();
            return err == "FTP password for quellix@127.0.0.1: " && !echoing();
        });
    };
    ASSERT_TRUE(echoing());

    QProcess tool;
    ASSERT_TRUE(prompted(tool));
    ASSERT_EQ(::kill(pid_t(tool.processId()), SIGTSTP), 0);
    EXPECT_TRUE(WaitFor([&] { return state(tool.processId()) == "T"; })) << processFacts(tool.processId());
    EXPECT_TRUE(echoing());
    ASSERT_EQ(::kill(pid_t(tool.processId()), SIGCONT), 0);
    EXPECT_TRUE(WaitFor([&] { return !echoing(); }));
    ASSERT_EQ(::write(master, "secret\n", 7), 7);
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardOutput().constData();
    EXPECT_TRUE(remote() == content);
    EXPECT_TRUE(echoing());

    QProcess quit;
    ASSERT_TRUE(prompted(quit));
    ASSERT_EQ(::kill(pid_t(quit.processId()), SIGQUIT), 0);
    ASSERT_TRUE(quit.waitForFinished(10000));
    EXPECT_EQ(quit.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quit.exitCode(), 128 + SIGQUIT);
    EXPECT_TRUE(echoing());
    ::close(terminal);
    ::close(master);
}

}  // namespace

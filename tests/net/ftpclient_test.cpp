// TFtpClient against a scripted FTP server: whole command transcripts, the
// bytes that reach the server's data connection, completions and failures.

#include "net/ftpclient.h"
#include "support/scriptedftp.h"
#include "support/testutil.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

struct Completion {
    TFtpRequest rqType;
    quint16 errCode;
    bool operator==(const Completion&) const = default;
};

void PrintTo(const Completion& c, std::ostream* os) {
    *os << FtpRequestShortName(c.rqType).constData() << "/" << c.errCode;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

class FtpClientTest : public testing::Test {
protected:
    void SetUp() override {
        ftp.HostName = "127.0.0.1";
        ftp.Port = QByteArray::number(server.port());
        ftp.UserName = "bob";
        ftp.PassWord = "secret";
        ftp.HostDirName = "/up";
        ftp.HostFileName = "remote.bin";
        ftp.Timeout = 5;
        ftp.OnRequestDone = [this](TFtpClient&, TFtpRequest rqType, quint16 errCode) {
            done.append({rqType, errCode});
            if (afterDone)
                afterDone(rqType, errCode);
        };
        ftp.OnProgress64 = [this](TFtpClient&, qint64 count, bool& abort) {
            progress.append(count);
            abort = abortAt >= 0 && count >= abortAt;
        };
        ftp.OnDisplay = [this](TFtpClient&, QByteArray& msg) {
            shown.append(msg);
            if (onShown)
                onShown(msg);
        };
    }

    // Open, USER and PASS, one after the other.
    void logIn() {
        ASSERT_TRUE(ftp.Open()) << ftp.ErrorMessage().constData();
        ASSERT_TRUE(ftp.User());
        ASSERT_TRUE(ftp.Pass());
    }

    QString localFile(const QByteArray& content) {
        const QString path = dir.filePath(QStringLiteral("local.bin"));
        WriteFileBytes(path, content);
        ftp.LocalFileName = path;
        return path;
    }

    // Starts a store and waits for its completion.
    Completion store(bool rest = false) {
        const qsizetype before = done.size();
        rest ? ftp.RestPutAsync() : ftp.PutAsync();
        EXPECT_TRUE(WaitFor([&] { return done.size() > before; }));
        return done.isEmpty() ? Completion{ftpNone, 0} : done.last();
    }

    // Commands after the log-in.
    QList<QByteArray> commandsAfterLogIn() const { return server.commands().mid(2); }

    ScriptedFtpServer server;
    TFtpClient ftp;
    QTemporaryDir dir;
    QList<Completion> done;
    QList<qint64> progress;
    QList<QByteArray> shown;
    qint64 abortAt = -1;
    std::function<void(TFtpRequest, quint16)> afterDone;
    std::function<void(const QByteArray&)> onShown;
};

// ---- Opening and the greeting -----------------------------------------------------

TEST_F(FtpClientTest, OpenReadsAMultiLineGreetingAndPassesTheStatesInOrder) {
    server.greeting = "220-Welcome\r\n220-Second line\r\n2024 is a year, not a reply\r\n220 Ready\r\n";
    QList<QByteArray> states;
    ftp.OnStateChange = [&](TFtpClient&, TFtpState, TFtpState to) { states.append(FtpStateName(to)); };
    EXPECT_TRUE(ftp.Open());
    EXPECT_EQ(done, (QList<Completion>{{ftpOpenAsync, 0}}));  // delivered inside the wait
    EXPECT_EQ(ftp.StatusCode(), 220);
    EXPECT_EQ(ftp.LastResponse(), "220 Ready");
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(states, (QList<QByteArray>{"DnsLookup", "WaitingBanner", "Connected", "Ready"}));
}

TEST_F(FtpClientTest, AGreetingOtherThan220FailsOpenWithItsCodeAndCloses) {
    server.greeting = "421-Too many users\r\n421 Try later\r\n";
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(done, (QList<Completion>{{ftpOpenAsync, 421}}));
    EXPECT_EQ(ftp.ErrorMessage(), "421 Try later");
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpClientTest, ARefusedConnectionFailsOpenWithTheSocketError) {
    ftp.Port = QByteArray::number(UnusedPort());
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(ftp.LastResponse(), "500 Connect error - Connection refused");
    EXPECT_EQ(ftp.StatusCode(), 500);
    EXPECT_EQ(done, (QList<Completion>{{ftpOpenAsync, 10061}}));
}

// ---- Replies ---------------------------------------------------------------------

TEST_F(FtpClientTest, WithAcceptLFRepliesEndedByALineFeedAloneAreUnderstood) {
    server.greeting = "220 LF only\n";
    server.replies["USER"] = "331 Password please\n";
    server.replies["PASS"] = "230-Hello\n230 Logged in\n";
    logIn();
    EXPECT_EQ(ftp.LastResponse(), "230 Logged in");
}

TEST_F(FtpClientTest, TheLogInRunsNestedInsideOpenAsTheUploadRunDrivesIt) {
    afterDone = [this](TFtpRequest rqType, quint16 errCode) {
        if (errCode != 0)
            return;
        if (rqType == ftpOpenAsync) ftp.User();
        else if (rqType == ftpUserAsync) ftp.Pass();
        else if (rqType == ftpPassAsync) ftp.Cwd();
        else if (rqType == ftpCwdAsync) ftp.TypeSet();
    };
    EXPECT_TRUE(ftp.Open());
    EXPECT_EQ(server.transcript(), "USER bob\r\nPASS secret\r\nCWD /up\r\nTYPE I\r\n");
    EXPECT_EQ(done, (QList<Completion>{{ftpOpenAsync, 0}, {ftpUserAsync, 0}, {ftpPassAsync, 0},
                                       {ftpCwdAsync, 0}, {ftpTypeSetAsync, 0}}));
}

TEST_F(FtpClientTest, RepliesOutsideTheSuccessListFailWithTheirCode) {
    server.replies["USER"] = "230 No password needed\r\n";  // 230 is a success for USER
    server.replies["CWD"] = "550 No such folder\r\n";
    server.replies["TYPE"] = "000 Nonsense\r\n";             // never a success
    ASSERT_TRUE(ftp.Open());
    EXPECT_TRUE(ftp.User());
    EXPECT_FALSE(ftp.Cwd());
    EXPECT_EQ(ftp.StatusCode(), 550);
    EXPECT_EQ(ftp.ErrorMessage(), "550 No such folder");
    EXPECT_FALSE(ftp.TypeSet());
    EXPECT_EQ(done.mid(1), (QList<Completion>{{ftpUserAsync, 0}, {ftpCwdAsync, 550}, {ftpTypeSetAsync, 500}}));
    EXPECT_TRUE(ftp.Connected());
}

TEST_F(FtpClientTest, SizeReadsTheNumberOfA213ReplyAndIsZeroOtherwise) {
    logIn();
    server.replies["SIZE"] = "213 123456789012\r\n";
    EXPECT_TRUE(ftp.Size());
    EXPECT_EQ(ftp.SizeResult(), 123456789012);
    server.replies["SIZE"] = "550 No such file\r\n";
    EXPECT_FALSE(ftp.Size());
    EXPECT_EQ(ftp.SizeResult(), 0);
    EXPECT_EQ(server.commands().mid(2), (QList<QByteArray>{"SIZE remote.bin", "SIZE remote.bin"}));
}

// A command is on the wire when the call that sends it returns, not after
// the event loop's next pass (which, in the program, repaints windows first):
// the server's socket is read here without running the client's event loop.
TEST_F(FtpClientTest, ACommandLeavesBeforeTheEventLoopRunsAgain) {
    logIn();
    server.replies["SIZE"] = "";
    ftp.SizeAsync();
    QTcpSocket* serverSide = server.control()->socket();
    ASSERT_NE(serverSide, nullptr);
    QElapsedTimer clock;
    clock.start();
    while (!server.control()->received().endsWith("SIZE remote.bin\r\n") && clock.elapsed() < 3000)
        serverSide->waitForReadyRead(100);
    EXPECT_TRUE(server.control()->received().endsWith("SIZE remote.bin\r\n"));
}

TEST_F(FtpClientTest, PassAnswersAnOtpChallengeWithTheSixWordPassword) {
    server.replies["USER"] = "331 Response to otp-md5 99 TeSt required for skey.\r\n";
    ftp.PassWord = "This is a test.";
    logIn();
    EXPECT_EQ(server.commands()[1], "PASS BAIL TUFT BITS GANG CHEF THY");
}

TEST_F(FtpClientTest, AReplyLineLongerThanTheBufferFailsTheRequestAndCloses) {
    server.replies["USER"] = "331 " + QByteArray(40000, 'x') + "\r\n";
    ASSERT_TRUE(ftp.Open());
    EXPECT_FALSE(ftp.User());
    EXPECT_EQ(done.last(), (Completion{ftpUserAsync, 500}));
    EXPECT_EQ(ftp.LastResponse(), "500 Control connection closed - Message too long");
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(FtpClientTest, AServerThatClosesBeforeItsReplyFailsTheRequest) {
    server.onCommand = [](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb != "CWD")
            return false;
        s.control()->close();
        return true;
    };
    logIn();
    EXPECT_FALSE(ftp.Cwd());
    EXPECT_EQ(done.last(), (Completion{ftpCwdAsync, 500}));
    EXPECT_FALSE(ftp.Connected());
}

// ---- Requests that cannot start, timeouts, handler errors -------------------------------

TEST_F(FtpClientTest, RequestsThatCannotStartRaiseAndPostNoCompletion) {
    EXPECT_THROW(ftp.UserAsync(), FtpException);
    EXPECT_FALSE(ftp.User());
    EXPECT_EQ(ftp.ErrorMessage(), "FTP component not connected");
    EXPECT_THROW(ftp.PutAsync(), FtpException);
    logIn();
    EXPECT_FALSE(ftp.Open());
    EXPECT_EQ(ftp.ErrorMessage(), "FTP component already connected");
    ftp.HostDirName.clear();
    EXPECT_FALSE(ftp.Cwd());
    EXPECT_EQ(ftp.ErrorMessage(), "HostDirName empty");
    server.replies["USER"] = "";  // silent: the next request stays busy
    ftp.UserAsync();
    EXPECT_THROW(ftp.PassAsync(), FtpException);
    EXPECT_EQ(ftp.ErrorMessage(), "FTP component not ready");
    EXPECT_EQ(done.size(), 3);  // Open, User, Pass of the log-in only
}

TEST_F(FtpClientTest, QuitWithoutAConnectionSucceedsAfterTheCallHasReturned) {
    ftp.QuitAsync();
    EXPECT_TRUE(done.isEmpty());  // never inside the starting call
    ASSERT_TRUE(WaitFor([&] { return !done.isEmpty(); }));
    EXPECT_EQ(done, (QList<Completion>{{ftpQuitAsync, 0}}));
    EXPECT_EQ(ftp.LastResponse(), "200 not connected");
}

TEST_F(FtpClientTest, ASilentServerEndsTheBlockingWaitWith426TimeoutAndACloseConnection) {
    ftp.Timeout = 1;
    server.replies["USER"] = "";
    ASSERT_TRUE(ftp.Open());
    EXPECT_FALSE(ftp.User());
    EXPECT_EQ(ftp.ErrorMessage(), "426 Timeout");
    EXPECT_EQ(ftp.StatusCode(), 426);
    EXPECT_FALSE(ftp.Connected());
    ASSERT_TRUE(WaitFor([&] { return done.size() == 2; }));
    EXPECT_EQ(done.last(), (Completion{ftpUserAsync, 426}));  // cut off, so not a success
}

TEST_F(FtpClientTest, AnErrorEscapingACompletionHandlerAbortsTheConnection) {
    afterDone = [](TFtpRequest, quint16) { throw FtpException("handler failed"); };
    ftp.Open();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_TRUE(shown.contains("! Error in request handler: handler failed"));
    EXPECT_TRUE(ftp.Open());  // the client is usable again
}

// ---- Stores ------------------------------------------------------------------------

TEST_F(FtpClientTest, APassiveStoreSendsTheFileInBlocksWithProgressBeforeAndAfterEach) {
    const QByteArray content = randomBytes(100000);
    localFile(content);
    ftp.Passive = true;
    logIn();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_EQ(commandsAfterLogIn(), (QList<QByteArray>{"PASV", "STOR remote.bin"}));
    EXPECT_TRUE(server.stored() == content);
    EXPECT_EQ(progress, (QList<qint64>{0, 32768, 65536, 98304, 100000}));
    EXPECT_EQ(ftp.ByteCount(), 100000);
}

TEST_F(FtpClientTest, AnActiveStoreAnnouncesTheListeningPortOfTheLoopbackAddress) {
    const QByteArray content = randomBytes(70000);
    localFile(content);
    ftp.Passive = false;
    logIn();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    const quint16 port = server.activePort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(commandsAfterLogIn(),
              (QList<QByteArray>{"PORT 127,0,0,1," + QByteArray::number(port >> 8) + "," +
                                     QByteArray::number(port & 255),
                                 "STOR remote.bin"}));
    EXPECT_TRUE(server.stored() == content);
}

TEST_F(FtpClientTest, ActiveDataPortsComeFromTheConfiguredRange) {
    localFile("abc");
    logIn();
    QTcpServer taken;
    quint16 first = 0;
    for (int attempt = 0; attempt < 20 && first == 0; ++attempt) {
        const quint16 candidate = UnusedPort();
        if (candidate < 65535 && taken.listen(QHostAddress::LocalHost, candidate))
            first = candidate;
    }
    ASSERT_NE(first, 0);
    ftp.DataPortRangeStart = first;
    ftp.DataPortRangeEnd = first;
    EXPECT_THROW(ftp.PutAsync(), FtpException);
    EXPECT_EQ(ftp.ErrorMessage(), "DataPortRangeEnd must be greater than DataPortRangeStart");
    ftp.DataPortRangeEnd = first + 1;
    QTcpServer second;
    if (second.listen(QHostAddress::LocalHost, quint16(first + 1))) {
        EXPECT_THROW(ftp.PutAsync(), FtpException);
        EXPECT_EQ(ftp.ErrorMessage(), "All ports in DataPortRange are in use");
        second.close();
        EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
        EXPECT_EQ(server.activePort(), first + 1);
    }
}

TEST_F(FtpClientTest, RestIsSentOnlyByRestPutAsyncWithAResumeOffset) {
    const QByteArray content = randomBytes(50000);
    localFile(content);
    ftp.Passive = true;
    logIn();
    // RestPutAsync from 0 is a plain store.
    EXPECT_EQ(store(true), (Completion{ftpPutAsync, 0}));
    // PutAsync from an offset sends the rest of the file, without REST.
    ftp.ResumeAt = 20000;
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_TRUE(server.stored() == content.mid(20000));
    EXPECT_EQ(ftp.ResumeAt, 0);
    // RestPutAsync from an offset: REST, and any reply below 500 lets it go on.
    for (const QByteArray& reply : {QByteArray("350 Restarting\r\n"), QByteArray("200 Fine\r\n")}) {
        server.replies["REST"] = reply;
        ftp.ResumeAt = 40000;
        progress.clear();
        EXPECT_EQ(store(true), (Completion{ftpPutAsync, 0}));
        EXPECT_TRUE(server.stored() == content.mid(40000));
        EXPECT_EQ(progress.first(), 40000);
        EXPECT_EQ(progress.last(), 50000);
    }
    EXPECT_EQ(commandsAfterLogIn(), (QList<QByteArray>{"PASV", "STOR remote.bin", "PASV", "STOR remote.bin", "PASV",
                                                       "REST 40000", "STOR remote.bin", "PASV", "REST 40000",
                                                       "STOR remote.bin"}));
}

// The upload run starts a store from a completion handler and relies on the
// blocking wait around it lasting until the store has ended, also through
// the pause between REST and the passive data connection.
TEST_F(FtpClientTest, ABlockingWaitLastsUntilAStoreStartedByItsHandlerHasEnded) {
    const QByteArray content = randomBytes(50000);
    localFile(content);
    ftp.Passive = true;
    logIn();
    afterDone = [this](TFtpRequest rqType, quint16) {
        if (rqType != ftpTypeSetAsync)
            return;
        ftp.ResumeAt = 1000;
        ftp.RestPutAsync();
    };
    EXPECT_TRUE(ftp.TypeSet());
    EXPECT_EQ(done.mid(3), (QList<Completion>{{ftpTypeSetAsync, 0}, {ftpPutAsync, 0}}));
    EXPECT_TRUE(server.stored() == content.mid(1000));
}

TEST_F(FtpClientTest, ARestRefusedWith500OrMoreEndsTheRequestBeforeTheStore) {
    localFile("abcdef");
    ftp.Passive = true;
    server.replies["REST"] = "502 REST not implemented\r\n";
    logIn();
    ftp.ResumeAt = 3;
    EXPECT_EQ(store(true), (Completion{ftpRestPutAsync, 502}));
    EXPECT_EQ(commandsAfterLogIn(), (QList<QByteArray>{"PASV", "REST 3"}));
}

TEST_F(FtpClientTest, AnEmptyFileIsStoredEmptyWithOneProgressEvent) {
    localFile("");
    ftp.Passive = true;
    logIn();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_TRUE(server.data() && server.data()->atEnd());
    EXPECT_EQ(server.stored(), "");
    EXPECT_EQ(progress, (QList<qint64>{0}));
}

// The final reply and the close of the data connection end the store in
// either order, and only once: the following QUIT is the next completion.
TEST_F(FtpClientTest, TheStoreEndsOnceWhetherTheFinalReplyComesBeforeOrAfterTheDataClose) {
    localFile(randomBytes(40000));
    ftp.Passive = true;
    logIn();
    server.onStoreEnd = [](ScriptedFtpServer& s) { s.sendFinalReply(); };
    onShown = [&](const QByteArray& msg) {
        if (msg.startsWith("< 226"))
            server.closeData();
    };
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    const qsizetype replyFirst = shown.indexOf("< 226 Transfer complete.");
    EXPECT_LT(replyFirst, shown.indexOf("! Data connection closed"));

    shown.clear();
    server.onStoreEnd = [](ScriptedFtpServer& s) { s.closeData(); };
    onShown = [&](const QByteArray& msg) {
        if (msg == "! Data connection closed")
            server.sendFinalReply();
    };
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_LT(shown.indexOf("! Data connection closed"), shown.indexOf("< 226 Transfer complete."));
    EXPECT_TRUE(ftp.Quit());
    EXPECT_EQ(done.mid(3), (QList<Completion>{{ftpPutAsync, 0}, {ftpPutAsync, 0}, {ftpQuitAsync, 0}}));
}

TEST_F(FtpClientTest, AStoreFailsWithTheCodeOfARefusedOrFailedStor) {
    localFile(randomBytes(1000));
    ftp.Passive = true;
    logIn();
    server.replies["STOR"] = "553 Not allowed\r\n";
    ftp.ResumeAt = 10;
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 553}));
    EXPECT_EQ(ftp.ResumeAt, 0);
    server.replies.remove("STOR");
    ftp.ResumeAt = 1001;  // beyond the end of the local file
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 550}));
    EXPECT_EQ(ftp.LastResponse(), "Unable to set resume position in local file");
    server.storFinalReply = "451 Disk full\r\n";
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 451}));
    EXPECT_TRUE(shown.contains("! STOR Failed"));
}

TEST_F(FtpClientTest, AServerThatClosesTheDataConnectionEarlyDoesNotGetASuccess) {
    localFile(randomBytes(8 * 1024 * 1024));
    ftp.Passive = true;
    logIn();
    // The server takes a little, then closes its end and still says 226.
    server.onCommand = [](ScriptedFtpServer& s, const QByteArray& verb, const QByteArray&) {
        if (verb != "STOR")
            return false;
        s.send("150 Go\r\n");
        QTimer::singleShot(0, &s, [&s] {
            WaitFor([&s] { return s.data() != nullptr; }, 5000);  // the data connection may still be in accept
            if (s.data())
                s.data()->reset();
            s.sendFinalReply();
        });
        return true;
    };
    const Completion c = store();
    EXPECT_EQ(c.rqType, ftpPutAsync);
    EXPECT_NE(c.errCode, 0);
}

// 100000 bytes a second in periods of 100 ms: each 32768-byte block uses up
// its period, so the four blocks of the file need at least three more.
TEST_F(FtpClientTest, WithBandwidthControlAStoreKeepsToTheLimit) {
    const QByteArray content = randomBytes(100000);
    localFile(content);
    ftp.Passive = true;
    ftp.Options |= ftpBandwidthControl;
    ftp.BandwidthLimit = 100000;
    ftp.BandwidthSampling = 100;
    logIn();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_TRUE(server.stored() == content);
}

TEST_F(FtpClientTest, AbortDuringAStoreCompletesItWith426AndOpenWorksAgain) {
    localFile(randomBytes(4 * 1024 * 1024));
    ftp.Passive = true;
    logIn();
    abortAt = 65536;
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 426}));
    EXPECT_EQ(ftp.ErrorMessage(), "426 Operation aborted.");
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.ResumeAt, 0);
    EXPECT_EQ(progress.last(), 65536);
    EXPECT_TRUE(ftp.Open());
    EXPECT_EQ(server.controlConnections(), 2);
}

TEST_F(FtpClientTest, ALocalFileThatAnotherHolderLockedIsNotSentWithExclusiveSharing) {
    const QString path = localFile("locked content");
    const int holder = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ftp.Passive = true;
    logIn();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 426}));
    EXPECT_TRUE(ftp.LastResponse().startsWith("Unable to open local file " + QFile::encodeName(path) + ": "))
        << ftp.LastResponse().constData();
    EXPECT_EQ(commandsAfterLogIn(), QList<QByteArray>{"PASV"});
    ftp.ShareMode = ftpShareDenyNone;
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 0}));
    EXPECT_EQ(server.stored(), "locked content");
    ::close(holder);
}

TEST_F(FtpClientTest, AMalformedPassiveReplyFailsTheStore) {
    localFile("x");
    ftp.Passive = true;
    server.replies["PASV"] = "227 Entering Passive Mode (127,0,0,1,300,1)\r\n";
    logIn();
    EXPECT_EQ(store(), (Completion{ftpPutAsync, 550}));
    EXPECT_EQ(ftp.LastResponse(), "Unable to establish data connection - Invalid argument");
}

}  // namespace

// quellix-tool http, run as an operator runs it, against the scripted server
// and a real nginx.

#include "support/httpscript.h"
#include "support/nginxserver.h"
#include "support/scriptedserver.h"
#include "support/testutil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Then = HttpReply::Then;

// Runs the tool while this process keeps serving its scripted server.
ProcessResult runTool(const QStringList& args) {
    QProcess process;
    EndWithThisProcess(process);
    process.start(ProgramDir() + QStringLiteral("/quellix-tool"), QStringList{QStringLiteral("http")} + args);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    result.finished = WaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString arg(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

TEST(ToolHttp, GetPrintsTheBodyAndTheResultLinesInOrder) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 206 Partial Content",
                                              {"Accept-Ranges: bytes", "Content-Range: bytes 2-4/10"}, "cde"));
    const ProcessResult r = runTool({QStringLiteral("--site"), QStringLiteral("--range"), QStringLiteral("2-4"),
                                     arg(server.url("/d/x.bin"))});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, "cde");
    EXPECT_EQ(r.err, "ErrCode: 0\n"
                     "StatusCode: 206\n"
                     "ReasonPhrase: Partial Content\n"
                     "ContentLength: 3\n"
                     "Location: " + server.url("/d/x.bin") + "\n"
                     "DocName: x.bin\n"
                     "LocationChangeCurCount: 0\n"
                     "AcceptRanges: bytes\n"
                     "ContentRangeBegin: 2\n"
                     "ContentRangeEnd: 4\n");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].contains("User-Agent: quellix-client\r\n"));
    EXPECT_TRUE(server.requests()[0].contains("Range: bytes=2-4\r\n"));
}

TEST(ToolHttp, OptionsReachTheRequest) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.1 302 Found", {"Location: /elsewhere"}, ""));
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, ""));
    QTemporaryDir dir;
    const ProcessResult r =
        runTool({QStringLiteral("--head"), QStringLiteral("--agent"), QStringLiteral("probe/1"), QStringLiteral("--version"),
                 QStringLiteral("1.1"), QStringLiteral("--no-follow"), QStringLiteral("-o"),
                 dir.filePath(QStringLiteral("out")), arg(server.url("/"))});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(server.requests().size(), 1);  // the relocation was not followed
    EXPECT_TRUE(server.requests()[0].startsWith("HEAD / HTTP/1.1\r\n"));
    EXPECT_TRUE(server.requests()[0].contains("User-Agent: probe/1\r\n"));
    EXPECT_TRUE(r.err.contains("StatusCode: 302\n"));
}

TEST(ToolHttp, BlockingPostRaisingPrintsTheExceptionAndExits2) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 404 Not Found", {}, "gone"));
    const ProcessResult r = runTool({QStringLiteral("--post"), QStringLiteral("a=1&b=2 3"), QStringLiteral("--blocking"),
                                     arg(server.url("/s.php"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.startsWith("ErrCode: 0\nStatusCode: 404\n")) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith("EHttpException 404: Not Found\n")) << r.err.constData();
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].endsWith("Content-Length: 9\r\n\r\na=1&b=2 3"));
}

TEST(ToolHttp, BlockingPostTimeOut) {
    HttpScriptedServer server;
    server.reply(QByteArray(), Then::Silence);
    const ProcessResult r = runTool({QStringLiteral("--post"), QStringLiteral("x"), QStringLiteral("--blocking"),
                                     QStringLiteral("--timeout"), QStringLiteral("1"), arg(server.url("/"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.startsWith("ErrCode: 8\n")) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith("EHttpException 404: Request aborted on timeout\n")) << r.err.constData();

    // An asynchronous request has no time-out of its own; the tool aborts it.
    server.reply(QByteArray(), Then::Silence);
    const ProcessResult get = runTool({QStringLiteral("--timeout"), QStringLiteral("1"), arg(server.url("/"))});
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_TRUE(get.err.startsWith("ErrCode: 3\nStatusCode: 404\nReasonPhrase: Connection aborted on request\n"))
        << get.err.constData();
}

TEST(ToolHttp, TransportFailureExits1AndUsageErrorsExit2) {
    const ProcessResult refused =
        runTool({QStringLiteral("http://127.0.0.1:") + QString::number(UnusedPort()) + QStringLiteral("/")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.startsWith("ErrCode: 10061\nStatusCode: 404\nReasonPhrase: Connection refused (Error #10061)\n"))
        << refused.err.constData();
    EXPECT_EQ(runTool({}).exitCode, 2);
    EXPECT_EQ(runTool({QStringLiteral("--range"), QStringLiteral("x-"), QStringLiteral("http://h/")}).exitCode, 2);
    const ProcessResult badVersion = runTool({QStringLiteral("--version"), QStringLiteral("2"), QStringLiteral("http://h/")});
    EXPECT_NE(badVersion.exitCode, 0);
    EXPECT_TRUE(badVersion.err.contains("Insupported HTTP version"));
}

TEST(ToolHttp, HttpsFromNginxWithCacertToAFile) {
    QTemporaryDir root;
    WriteFileBytes(root.filePath(QStringLiteral("doc.txt")), QByteArray(70000, 'q'));
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path(), true)) << nginx.error().toStdString();
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("doc.txt"));
    const ProcessResult r = runTool({QStringLiteral("--cacert"), nginx.certificateFile(), QStringLiteral("-o"), out,
                                     arg(nginx.baseUrl() + "/doc.txt")});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadFileBytes(out), QByteArray(70000, 'q'));
    EXPECT_TRUE(r.out.isEmpty());

    const ProcessResult untrusted = runTool({arg(nginx.baseUrl() + "/doc.txt")});
    EXPECT_EQ(untrusted.exitCode, 1);
    EXPECT_TRUE(untrusted.err.startsWith("ErrCode: 12045\n")) << untrusted.err.constData();
}

}  // namespace

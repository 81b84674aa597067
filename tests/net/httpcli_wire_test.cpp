// THttpCli against a scripted loopback server: the exact request bytes, the
// replies played back byte for byte, relocations, kept connections, Abort
// and the blocking Post.

#include "net/httpcli.h"
#include "net/nestedwait.h"
#include "net/siteclient.h"
#include "net/socketerror.h"
#include "support/httpscript.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Then = HttpReply::Then;

// Records what a component reports, in order.
struct Recorder {
    explicit Recorder(THttpCli& http) {
        http.OnHeaderEnd = [this](THttpCli& h) {
            events << "HeaderEnd " + QByteArray::number(h.StatusCode());
            ++headerEnds;
        };
        http.OnDocData = [this](THttpCli&, const char* buffer, int len) { body += QByteArray(buffer, len); };
        http.OnLocationChange = [this](THttpCli& h) { events << "LocationChange " + h.Location(); };
        http.OnRequestDone = [this](THttpCli& h, THttpRequest type, quint16 errCode) {
            events << "RequestDone " + QByteArray::number(errCode);
            ++done;
            lastType = type;
            lastErr = errCode;
            readyAtDone = h.State() == httpReady;
        };
    }
    bool waitDone(int count = 1, int timeoutMs = 5000) { return WaitFor([&] { return done >= count; }, timeoutMs); }

    QList<QByteArray> events;
    QByteArray body;
    int headerEnds = 0;
    int done = 0;
    THttpRequest lastType = httpABORT;
    quint16 lastErr = 0xffff;
    bool readyAtDone = false;
};

QByteArray hostLine(const HttpScriptedServer& server) {
    return "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n";
}

const QByteArray acceptLine = "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n";

// --- requests on the wire ---------------------------------------------------

TEST(HttpCliWire, GetWritesTheExactRequestAndReportsOnceFromTheEventLoop) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {"Accept-Ranges: bytes", "Content-Type: text/plain"},
                                              "hello"));
    THttpCli http("HttpTest");
    Recorder rec(http);
    QList<THttpState> states;
    http.OnStateChange = [&](THttpCli&, THttpState s) { states << s; };
    QBuffer received;
    received.open(QIODevice::WriteOnly);
    http.ReceiveStream = &received;
    http.URL = server.url("/dir/file.txt?x=1");
    http.GetASync();
    EXPECT_EQ(rec.done, 0);  // never inside the starting call
    ASSERT_TRUE(rec.waitDone());

    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests()[0], "GET /dir/file.txt?x=1 HTTP/1.0\r\n" + acceptLine +
                                        "User-Agent: Mozilla/4.0 (compatible; QHC)\r\n" + hostLine(server) + "\r\n");
    EXPECT_EQ(rec.events, QList<QByteArray>({"HeaderEnd 200", "RequestDone 0"}));
    EXPECT_TRUE(rec.readyAtDone);
    EXPECT_EQ(rec.lastType, httpGET);
    EXPECT_EQ(rec.body, "hello");
    EXPECT_EQ(received.data(), "hello");
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.ReasonPhrase(), "OK");
    EXPECT_EQ(http.ContentLength(), 5);
    EXPECT_EQ(http.AcceptRanges(), "bytes");
    EXPECT_EQ(http.DocName(), "file.txt");
    EXPECT_EQ(http.Location(), http.URL);
    EXPECT_EQ(http.RcvdCount(), 5);
    EXPECT_EQ(states, QList<THttpState>({httpNotConnected, httpDnsLookup, httpDnsLookupDone, httpConnected,
                                         httpWaitingHeader, httpWaitingBody, httpBodyReceived, httpReady}));
    EXPECT_EQ(rec.done, 1);
}

TEST(HttpCliWire, HeadAndSiteSettings) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "") .replace("Content-Length: 0", "Content-Length: 1234"));
    THttpCli http;
    ApplySiteClientSettings(http);
    Recorder rec(http);
    http.URL = server.url();
    http.HeadASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(server.requests()[0],
              "HEAD / HTTP/1.0\r\n" + acceptLine + "User-Agent: quellix-client\r\n" + hostLine(server) + "\r\n");
    EXPECT_EQ(rec.lastType, httpHEAD);
    EXPECT_EQ(http.ContentLength(), 1234);
    EXPECT_TRUE(rec.body.isEmpty());
    EXPECT_EQ(http.DocName(), "document.htm");
}

TEST(HttpCliWire, PostSendsTheBodyFromTheStreamPositionInBlocks) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "1\r\nname\r\ntoken"));
    THttpCli http;
    ApplySiteClientSettings(http);
    http.NoCache = true;
    Recorder rec(http);
    QByteArray form = "skip-me&action=login&username=" + QByteArray(20000, 'u') + "&password=a b+c%";
    QBuffer send(&form);
    send.open(QIODevice::ReadOnly);
    send.seek(8);  // only the bytes from the position on are sent
    http.SendStream = &send;
    http.URL = server.url("/plugins/quellix_client/client_main.php");
    http.PostASync();
    ASSERT_TRUE(rec.waitDone());
    const QByteArray body = form.mid(8);
    EXPECT_EQ(server.requests()[0], "POST /plugins/quellix_client/client_main.php HTTP/1.0\r\n" + acceptLine +
                                        "Content-Type: application/x-www-form-urlencoded\r\n"
                                        "User-Agent: quellix-client\r\n" +
                                        hostLine(server) + "Pragma: no-cache\r\nContent-Length: " +
                                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(http.SentCount(), body.size());
    EXPECT_EQ(rec.body, "1\r\nname\r\ntoken");
}

TEST(HttpCliWire, RangeIsSentOnceAndContentRangeFillsItAgain) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 206 Partial Content", {"Content-Range: bytes 500-502/1000"},
                                              "abc"));
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "x"));
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url("/f");
    http.ContentRangeBegin = "500";
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_TRUE(server.requests()[0].contains("\r\nRange: bytes=500-\r\n\r\n"));
    EXPECT_EQ(http.ContentRangeBegin, "500");
    EXPECT_EQ(http.ContentRangeEnd, "502");
    // The filled-in values are what the next request asks for, unless the
    // caller sets them again; a reply without Content-Range leaves them empty.
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_TRUE(server.requests()[1].contains("\r\nRange: bytes=500-502\r\n\r\n"));
    EXPECT_TRUE(http.ContentRangeBegin.isEmpty());
    EXPECT_TRUE(http.ContentRangeEnd.isEmpty());
}

// --- bodies -----------------------------------------------------------------

TEST(HttpCliWire, ChunkedBodyWithExtensions) {
    HttpScriptedServer server;
    server.reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "1a;ext=1\r\nabcdefghijklmnopqrstuvwxyz\r\n5\r\n01234\r\n0\r\n\r\n",
                 Then::KeepOpen);
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastErr, 0);
    EXPECT_EQ(rec.body, "abcdefghijklmnopqrstuvwxyz01234");
    EXPECT_EQ(http.ContentLength(), -1);
}

TEST(HttpCliWire, BodyWithoutLengthRunsUntilTheServerCloses) {
    HttpScriptedServer server;
    server.reply("HTTP/1.0 200 OK\r\nContent-Type: application/zip\r\n\r\n" + QByteArray(100000, 'z'));
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url("/a.zip");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastErr, 0);
    EXPECT_EQ(rec.body, QByteArray(100000, 'z'));
}

TEST(HttpCliWire, InterimContinueIsNotReported) {
    HttpScriptedServer server;
    server.reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    THttpCli http;
    http.SetRequestVer("1.1");
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.headerEnds, 1);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(rec.body, "ok");
}

TEST(HttpCliWire, BodilessRepliesReportNoData) {
    const QByteArray replies[] = {
        "HTTP/1.0 204 No Content\r\n\r\n",
        "HTTP/1.0 302 Found\r\n\r\n",
        "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n",
        // A 304 names the length of the stored document; it still has no body.
        "HTTP/1.1 304 Not Modified\r\nContent-Length: 500\r\n\r\n",
    };
    for (const QByteArray& reply : replies) {
        HttpScriptedServer server;
        server.reply(reply, Then::KeepOpen);  // the end must not depend on a close
        THttpCli http;
        http.SetRequestVer("1.1");
        http.FollowRelocation = false;
        Recorder rec(http);
        QBuffer received;
        received.open(QIODevice::WriteOnly);
        http.ReceiveStream = &received;
        http.URL = server.url();
        http.GetASync();
        ASSERT_TRUE(rec.waitDone()) << reply.constData();
        EXPECT_TRUE(rec.body.isEmpty());
        EXPECT_TRUE(received.data().isEmpty());
        EXPECT_EQ(rec.lastErr, 0);
    }
}

// --- relocation -------------------------------------------------------------

TEST(HttpCliWire, PostRedirectedBecomesGetAndTheRedirectBodyIsCutFromTheStream) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 302 Found", {"Location: /done.php?ok=1"}, "moved away"));
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "final"));
    THttpCli http;
    ApplySiteClientSettings(http);
    Recorder rec(http);
    QByteArray form = "action=login";
    QBuffer send(&form);
    send.open(QIODevice::ReadOnly);
    QBuffer received;
    received.open(QIODevice::ReadWrite);
    received.write("kept:");
    http.SendStream = &send;
    http.ReceiveStream = &received;
    http.URL = server.url("/plugins/a/client_main.php");
    http.PostASync();
    ASSERT_TRUE(rec.waitDone());
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[1],
              "GET /done.php?ok=1 HTTP/1.0\r\n" + acceptLine + "User-Agent: quellix-client\r\n" + hostLine(server) + "\r\n");
    EXPECT_EQ(received.data(), "kept:final");
    EXPECT_EQ(rec.body, "moved awayfinal");  // the redirect body is reported too
    EXPECT_EQ(rec.events, QList<QByteArray>({"HeaderEnd 302", "LocationChange " + server.url("/done.php?ok=1"),
                                             "HeaderEnd 200", "RequestDone 0"}));
    EXPECT_EQ(http.LocationChangeCurCount(), 1);
    EXPECT_EQ(http.DocName(), "done.php");
    EXPECT_EQ(send.pos(), 0);  // moved back by the bytes sent
}

TEST(HttpCliWire, RedirectBodyIsCutFromAFileToo) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 301 Moved", {"Location: next.bin"}, "redirect text"));
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "payload"));
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("out.bin")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    THttpCli http;
    Recorder rec(http);
    http.ReceiveStream = &file;
    http.URL = server.url("/d/first.bin?q=/x");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    file.close();
    EXPECT_TRUE(server.requests()[1].startsWith("GET /d/next.bin HTTP/1.0\r\n"));
    EXPECT_EQ(ReadFileBytes(dir.filePath(QStringLiteral("out.bin"))), "payload");
}

TEST(HttpCliWire, FiveRelocationsAreFollowedAndTheSixthEndsTheRequest) {
    HttpScriptedServer server;
    for (int i = 1; i <= 6; ++i)
        server.reply(HttpScriptedServer::response("HTTP/1.0 302 Found", {"Location: /r" + QByteArray::number(i)}, ""));
    THttpCli http;
    Recorder rec(http);
    int exceeded = 0;
    http.OnLocationChangeExceeded = [&](THttpCli&, int count, bool& allow) {
        ++exceeded;
        EXPECT_EQ(count, 6);
        EXPECT_FALSE(allow);
    };
    http.URL = server.url("/r0");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(server.requests().size(), 6);
    EXPECT_EQ(exceeded, 1);
    EXPECT_EQ(http.LocationChangeCurCount(), 6);
    EXPECT_EQ(http.StatusCode(), 302);
    EXPECT_EQ(rec.events.count(), 6 + 5 + 1);
    EXPECT_EQ(rec.lastErr, 0);
}

TEST(HttpCliWire, AbsoluteTargetOnAnotherServer) {
    HttpScriptedServer first;
    HttpScriptedServer second;
    first.reply(HttpScriptedServer::response("HTTP/1.0 302 Found", {"Location: " + second.url("/there")}, ""));
    second.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "arrived"));
    THttpCli http;
    Recorder rec(http);
    http.URL = first.url("/here");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    ASSERT_EQ(second.requests().size(), 1);
    EXPECT_TRUE(second.requests()[0].startsWith("GET /there HTTP/1.0\r\n"));
    EXPECT_TRUE(second.requests()[0].contains(hostLine(second)));
    EXPECT_EQ(http.Location(), second.url("/there"));
    EXPECT_EQ(rec.body, "arrived");
}

// --- kept connections -------------------------------------------------------

TEST(HttpCliWire, Http11KeepsTheConnectionForTheNextRequestToTheSameServer) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "one"), Then::KeepOpen);
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "two"), Then::KeepOpen);
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {"Connection: close"}, "three"), Then::KeepOpen);
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "four"), Then::KeepOpen);
    THttpCli http;
    http.SetRequestVer("1.1");
    Recorder rec(http);
    // Each request is started from the previous one's completion handler.
    auto done = http.OnRequestDone;
    int started = 1;
    http.OnRequestDone = [&](THttpCli& h, THttpRequest t, quint16 e) {
        done(h, t, e);
        if (started < 4) {
            ++started;
            h.GetASync();
            // On the kept connection the request is written inside the call.
            if (started == 2) {
                EXPECT_EQ(h.State(), httpWaitingHeader);
            }
        }
    };
    http.URL = server.url("/k");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(4));
    EXPECT_EQ(rec.body, "onetwothreefour");
    EXPECT_EQ(server.requestConnections(), QList<int>({0, 0, 0, 1}));  // dropped after "Connection: close"
    EXPECT_TRUE(server.requests()[0].startsWith("GET /k HTTP/1.1\r\n"));
}

TEST(HttpCliWire, AKeptConnectionClosedByTheServerIsReplacedTransparently) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "one"), Then::KeepOpen);
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "two"), Then::KeepOpen);
    THttpCli http;
    http.SetRequestVer("1.1");
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    // The server closes the idle connection; the client has not noticed yet.
    server.server().connections()[0]->close();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_EQ(rec.lastErr, 0);
    EXPECT_EQ(rec.body, "onetwo");
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST(HttpCliWire, BytesBeyondTheResponseMakeTheConnectionUnusable) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "one") + "HTTP/1.1 200 OK\r\n\r\nstray",
                 Then::KeepOpen);
    server.reply(HttpScriptedServer::response("HTTP/1.1 200 OK", {}, "two"), Then::KeepOpen);
    THttpCli http;
    http.SetRequestVer("1.1");
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_EQ(rec.body, "onetwo");  // the stray bytes were never taken for the second reply
    EXPECT_EQ(server.requestConnections(), QList<int>({0, 1}));
}

// --- abort ------------------------------------------------------------------

TEST(HttpCliWire, AbortInsideHeaderEndReportsNoBody) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "never reported"));
    THttpCli http;
    Recorder rec(http);
    QBuffer received;
    received.open(QIODevice::WriteOnly);
    http.ReceiveStream = &received;
    http.OnHeaderEnd = [&](THttpCli& h) {
        rec.events << "HeaderEnd";
        h.Abort();
        EXPECT_EQ(h.State(), httpReady);
    };
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_FALSE(WaitFor([&] { return rec.done > 1; }, 300));
    EXPECT_EQ(rec.lastErr, 3);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_EQ(http.ReasonPhrase(), "Connection aborted on request");
    EXPECT_TRUE(rec.body.isEmpty());
    EXPECT_TRUE(received.data().isEmpty());
}

TEST(HttpCliWire, AbortOnAnIdleComponentReportsAtOnce) {
    THttpCli http;
    Recorder rec(http);
    http.Abort();
    EXPECT_EQ(rec.done, 1);  // inside the call
    EXPECT_EQ(rec.lastErr, 0);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.ReasonPhrase(), "OK");
}

TEST(HttpCliWire, AbortWhileTheCompletionIsPendingKeepsTheRequestsOwnReport) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 404 Not Found", {"Content-Length: 4"}, "nope"));
    THttpCli http;
    Recorder rec(http);
    int statusAtDone = 0;
    http.OnRequestDone = [&](THttpCli& h, THttpRequest, quint16 errCode) {
        rec.events << "RequestDone " + QByteArray::number(errCode);
        ++rec.done;
        statusAtDone = h.StatusCode();
    };
    // Abort between the end of the request and the delivery of its report,
    // as a probe giving up at that moment does.
    http.OnStateChange = [&](THttpCli& h, THttpState state) {
        if (state == httpReady)
            QMetaObject::invokeMethod(&h, [&] { http.Abort(); }, Qt::QueuedConnection);
    };
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_FALSE(WaitFor([&] { return rec.done > 1; }, 300));
    EXPECT_EQ(rec.events, QList<QByteArray>({"HeaderEnd 404", "RequestDone 0"}));
    EXPECT_EQ(statusAtDone, 404);
    EXPECT_EQ(http.ReasonPhrase(), "Not Found");
}

TEST(HttpCliWire, AbortDuringNameLookup) {
    THttpCli http;
    Recorder rec(http);
    http.URL = "http://quellix-test-host.invalid/";
    http.GetASync();
    ASSERT_EQ(http.State(), httpDnsLookup);
    http.Abort();
    EXPECT_EQ(http.State(), httpReady);
    ASSERT_TRUE(rec.waitDone());
    EXPECT_FALSE(WaitFor([&] { return rec.done > 1; }, 500));
    EXPECT_EQ(rec.lastErr, 3);

    // A component that goes while its lookup runs: the result, when it
    // comes, finds no receiver (and, under the sanitizers, nothing leaks).
    auto gone = std::make_unique<THttpCli>();
    gone->URL = "http://quellix-test-host-2.invalid/";
    gone->GetASync();
    ASSERT_EQ(gone->State(), httpDnsLookup);
    gone.reset();
    EXPECT_FALSE(WaitFor([&] { return rec.done > 1; }, 500));
}

TEST(HttpCliWire, OperationsRefusedWhileBusyOrWithoutABody) {
    HttpScriptedServer server;
    THttpCli http("HttpMydisk");
    Recorder rec(http);
    http.URL = server.url();
    try {
        http.PostASync();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.code(), 2);
        EXPECT_EQ(e.message(), "HTTP component has nothing to post or put");
    }
    http.GetASync();
    try {
        http.HeadASync();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.code(), 1);
        EXPECT_EQ(e.message(), "HTTP component HttpMydisk is busy");
    }
    try {
        http.SetRequestVer("2.0");
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.code(), 5);
        EXPECT_EQ(e.message(), "Insupported HTTP version");
    }
    EXPECT_EQ(http.RequestVer(), "1.0");
    http.Abort();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_FALSE(WaitFor([&] { return rec.done > 1; }, 200));  // the refusals reported nothing
}

TEST(HttpCliWire, ARequestIsRefusedUntilTheLastCompletionWasDelivered) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {"Content-Length: 2"}, "ok"));
    THttpCli http("HttpMydisk");
    Recorder rec(http);
    http.URL = server.url();
    // Runs between the moment the component becomes ready and the delivery
    // of its OnRequestDone: a new request there would take over the
    // streams the pending completion handler is about to free.
    int refusedInGap = 0;
    http.OnStateChange = [&](THttpCli& h, THttpState state) {
        if (state != httpReady)
            return;
        QMetaObject::invokeMethod(
            &h,
            [&] {
                EXPECT_TRUE(http.IsBusy());
                try {
                    http.GetASync();
                } catch (const EHttpException& e) {
                    if (e.code() == HttpError::Busy)
                        ++refusedInGap;
                }
            },
            Qt::QueuedConnection);
    };
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(refusedInGap, 1);
    EXPECT_TRUE(rec.readyAtDone);
    EXPECT_FALSE(http.IsBusy());
}

// --- blocking post ----------------------------------------------------------

TEST(HttpCliWire, PostRaisesAfterTheCompletionHandlerRanFor404) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 404 Not Found", {}, "nope"));
    THttpCli http;
    Recorder rec(http);
    QBuffer send;
    send.setData("a=1");
    send.open(QIODevice::ReadOnly);
    http.SendStream = &send;
    http.URL = server.url("/missing.php");
    try {
        http.Post();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.code(), 404);
        EXPECT_EQ(e.message(), "Not Found");
        EXPECT_EQ(rec.done, 1);  // the handler already ran
        EXPECT_EQ(rec.lastErr, 0);
    }
}

TEST(HttpCliWire, PostReturnsNormallyFor401AndTheHandlerRanInside) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 401 Unauthorized", {}, ""));
    THttpCli http;
    Recorder rec(http);
    QBuffer send;
    send.setData("a=1");
    send.open(QIODevice::ReadOnly);
    http.SendStream = &send;
    http.URL = server.url();
    EXPECT_NO_THROW(http.Post());
    EXPECT_EQ(rec.done, 1);
}

TEST(HttpCliWire, PostGivesUpAfterTimeoutWithoutTrafficButNotWhileBytesTrickle) {
    HttpScriptedServer server;
    // The body comes one byte every 400 ms, 2 s in all, with a 1-second
    // limit: no time-out, the limit counts from the latest traffic.
    const QByteArray reply = HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "12345");
    server.reply(reply, Then::Trickle, 400, int(reply.size()) - 5);
    server.reply(QByteArray(), Then::Silence);
    THttpCli http;
    http.Timeout = 1;
    Recorder rec(http);
    QBuffer send;
    send.setData("a=1");
    send.open(QIODevice::ReadOnly);
    http.SendStream = &send;
    http.URL = server.url();
    http.Post();
    EXPECT_EQ(rec.done, 1);
    EXPECT_EQ(rec.lastErr, 0);
    EXPECT_EQ(rec.body, "12345");

    send.seek(0);
    QElapsedTimer clock;
    clock.start();
    try {
        http.Post();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.code(), 404);
        EXPECT_EQ(e.message(), "Request aborted on timeout");
    }
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(rec.done, 1);  // the completion notice comes after Post left
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_EQ(rec.lastErr, 8);
}

TEST(HttpCliWire, PostGivesUpWhenTheApplicationIsEnding) {
    HttpScriptedServer server;
    server.reply(QByteArray(), Then::Silence);
    THttpCli http;
    Recorder rec(http);
    QBuffer send;
    send.setData("a=1");
    send.open(QIODevice::ReadOnly);
    http.SendStream = &send;
    http.URL = server.url();
    QTimer::singleShot(100, [] { SetApplicationTerminating(true); });
    try {
        http.Post();
        FAIL() << "no exception";
    } catch (const EHttpException& e) {
        EXPECT_EQ(e.message(), "Request aborted");
    }
    SetApplicationTerminating(false);
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastErr, 3);
}

// --- failures ---------------------------------------------------------------

TEST(HttpCliWire, ServerClosingInTheMiddleOfTheHeader) {
    HttpScriptedServer server;
    server.reply("HTTP/1.0 200 OK\r\nContent-Le");
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    // An incomplete header is no success.
    EXPECT_EQ(rec.events, QList<QByteArray>({"HeaderEnd 200", "RequestDone 10054"}));
}

TEST(HttpCliWire, BodyCutShortIsAnErrorEvenOnAnOrderlyClose) {
    HttpScriptedServer server;
    server.reply("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\npartial", Then::Abort);
    server.reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\nabc", Then::Close);
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_LT(http.RcvdCount(), 100000);
    EXPECT_EQ(rec.lastErr, 10054);
    EXPECT_EQ(SocketErrorDesc(rec.lastErr), "Connection reset by peer");
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_EQ(rec.lastErr, 10054);
    EXPECT_TRUE(rec.body.endsWith("abc"));
}

TEST(HttpCliWire, OversizedHeaderEndsTheRequestAsAFailure) {
    HttpScriptedServer server;
    server.reply("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(200 * 1024, 'a'), Then::KeepOpen);
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_NE(rec.lastErr, 0);
    EXPECT_EQ(http.ReasonPhrase(), "Response header line too long");
    ASSERT_TRUE(server.server().connections()[0]->waitForPeerClose());  // the connection was dropped
}

TEST(HttpCliWire, OverflowingChunkSizeEndsTheRequestAsAFailure) {
    HttpScriptedServer server;
    server.reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n10000000000000000\r\n",
                 Then::KeepOpen);
    THttpCli http;
    Recorder rec(http);
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_NE(rec.lastErr, 0);
    EXPECT_EQ(rec.body, "abc");
    EXPECT_EQ(http.ReasonPhrase(), "Chunk size too large in chunked body");
}

TEST(HttpCliWire, AReceiveStreamThatCannotBeWrittenFailsTheRequest) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "data"));
    THttpCli http;
    Recorder rec(http);
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    http.ReceiveStream = &readOnly;
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastErr, 29);
    EXPECT_TRUE(http.ReasonPhrase().startsWith("Can't write the received data")) << http.ReasonPhrase().constData();
    EXPECT_TRUE(rec.body.isEmpty());
}

TEST(HttpCliWire, RefusedConnectionCarriesTheWinSockNumberAndText) {
    THttpCli http;
    Recorder rec(http);
    http.URL = "http://127.0.0.1:" + QByteArray::number(UnusedPort()) + "/";
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.lastErr, 10061);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_EQ(http.ReasonPhrase(), "Connection refused (Error #10061)");
}

TEST(HttpCliWire, LocalAddressIsBoundOrTheConnectCallFails) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, "bound"));
    THttpCli http;
    Recorder rec(http);
    http.LocalAddr = "127.0.0.1";
    http.URL = server.url();
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(rec.body, "bound");

    http.LocalAddr = "192.0.2.1";  // no interface of this machine has it
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2));
    EXPECT_EQ(rec.lastErr, 10049);
    EXPECT_EQ(http.ReasonPhrase(), "can't connect: Address not available (Error #10049)");
}

TEST(HttpCliWire, UnknownProtocolAndUnresolvableHost) {
    THttpCli http;
    Recorder rec(http);
    http.URL = "ftp://127.0.0.1/file";
    http.GetASync();
    ASSERT_TRUE(rec.waitDone());
    EXPECT_EQ(http.StatusCode(), 501);
    EXPECT_EQ(http.ReasonPhrase(), "Protocol \"ftp\" not implemented");

    http.URL = "http://quellix-test-host.invalid/";
    http.GetASync();
    ASSERT_TRUE(rec.waitDone(2, 30000));
    EXPECT_NE(rec.lastErr, 0);
    EXPECT_EQ(http.StatusCode(), 404);
    EXPECT_EQ(http.ReasonPhrase(), "can't resolve hostname to IP address");
}

TEST(HttpCliWire, DestroyingTheComponentInAHandlerIsSafe) {
    HttpScriptedServer server;
    server.reply(HttpScriptedServer::response("HTTP/1.0 200 OK", {}, QByteArray(50000, 'd')));
    auto* http = new THttpCli;
    int pieces = 0;
    http->OnDocData = [&](THttpCli& h, const char*, int) {
        ++pieces;
        delete &h;
    };
    http->URL = server.url();
    http->GetASync();
    ASSERT_TRUE(WaitFor([&] { return pieces > 0; }));
    EXPECT_FALSE(WaitFor([&] { return pieces > 1; }, 200));
}

}  // namespace

// The HTTP protocol pieces without a network: addresses, document names,
// relocation targets, the request writer, the header parser, the body
// reader and the receive buffer.

#include "net/httpbodyreader.h"
#include "net/httpheaderparser.h"
#include "net/httpreceivebuffer.h"
#include "net/httprelocation.h"
#include "net/httprequestwriter.h"
#include "net/httpurl.h"
#include "support/testutil.h"
#include "text/gbk.h"

#include <gtest/gtest.h>

namespace {

// --- addresses --------------------------------------------------------------

TEST(HttpUrl, SplitsProtocolUserHostPortAndPath) {
    const HttpUrlParts p = ParseHttpUrl("HTTP://bob:pw:x@Pan.Example.cn:8080/a/b.php?x=1/2");
    EXPECT_EQ(p.Protocol, "http");
    EXPECT_EQ(p.User, "bob");
    EXPECT_EQ(p.Password, "pw:x");
    EXPECT_EQ(p.Host, "Pan.Example.cn");
    EXPECT_EQ(p.Port, "8080");
    EXPECT_EQ(p.Path, "/a/b.php?x=1/2");

    const HttpUrlParts q = ParseHttpUrl("http://host?a=b/c");
    EXPECT_EQ(q.Host, "host");
    EXPECT_EQ(q.Path, "?a=b/c");
    EXPECT_EQ(ParseHttpUrl("https://h").Path, "");
    // The port follows the last ":" after the user information.
    EXPECT_EQ(ParseHttpUrl("http://u:p@h:81/").Port, "81");
    EXPECT_EQ(ParseHttpUrl("http://[::1]:81/x").Host, "[::1]");
    EXPECT_EQ(ParseHttpUrl("http://[::1]/x").Port, "");
}

TEST(HttpUrl, AddressesWithoutAValidProtocol) {
    const HttpUrlParts bare = ParseHttpUrl("/only/a/path");
    EXPECT_EQ(bare.Protocol, "");
    EXPECT_EQ(bare.Host, "");
    EXPECT_EQ(bare.Path, "/only/a/path");
    const HttpUrlParts noScheme = ParseHttpUrl("example.com:81/x");
    EXPECT_EQ(noScheme.Host, "example.com");
    EXPECT_EQ(noScheme.Port, "81");
    EXPECT_EQ(ParseHttpUrl("ht tp://x/").Protocol, "");  // not a protocol name
    EXPECT_EQ(ParseHttpUrl("svn+ssh://x/").Protocol, "svn+ssh");
}

TEST(HttpUrl, PortNumbersAndRequestTargets) {
    EXPECT_EQ(HttpPortNumber("", "http"), 80);
    EXPECT_EQ(HttpPortNumber("", "https"), 443);
    EXPECT_EQ(HttpPortNumber("8080", "http"), 8080);
    EXPECT_EQ(HttpPortNumber("0", "http"), 0);
    EXPECT_EQ(HttpPortNumber("65536", "http"), 0);
    EXPECT_EQ(HttpPortNumber("8o", "http"), 0);
    EXPECT_EQ(HttpRequestTarget(""), "/");
    EXPECT_EQ(HttpRequestTarget("/a b?c#frag"), "/a b?c");
    EXPECT_EQ(HttpRequestTarget("/a\r\nX-Evil: 1"), "/a%0D%0AX-Evil: 1");
    EXPECT_EQ(HostForLookup("[::1]"), "::1");
}

TEST(HttpDocName, LastSegmentOrDocumentHtm) {
    EXPECT_EQ(HttpDocName(""), "document.htm");
    EXPECT_EQ(HttpDocName("/"), "document.htm");
    EXPECT_EQ(HttpDocName("/dir/?x=/y"), "document.htm");
    EXPECT_EQ(HttpDocName("/a/file.zip?id=3"), "file.zip");
    EXPECT_EQ(HttpDocName("/a/file.zip#part"), "file.zip");
    EXPECT_EQ(HttpDocName("/a/" + QByteArray(300, 'x')).size(), 255);
    // A double-byte character is never cut in half at the 255-byte limit.
    const QByteArray name = HttpDocName("/" + QByteArray(254, 'x') + "网盘"_gbk);
    EXPECT_EQ(name, QByteArray(254, 'x'));
}

TEST(HttpDocName, HtmlRepliesForExeOrBareNamesBecomeHtm) {
    EXPECT_EQ(HttpDocNameForContentType("setup.exe", "text/html"), "setup.htm");
    EXPECT_EQ(HttpDocNameForContentType("SETUP.EXE", "text/html; charset=gbk"), "SETUP.htm");
    EXPECT_EQ(HttpDocNameForContentType("index", "text/html"), "index.htm");
    EXPECT_EQ(HttpDocNameForContentType("setup.exe", "application/octet-stream"), "setup.exe");
    EXPECT_EQ(HttpDocNameForContentType("page.php", "text/html"), "page.php");
}

// --- relocation targets -----------------------------------------------------

HttpTarget current() { return HttpTargetFromUrl("http://pan.example.cn:8080/plugins/a/client_main.php?x=1/2"); }

TEST(HttpRelocation, AbsolutePathKeepsServer) {
    const HttpRelocationTarget r = ResolveHttpRelocation(current(), "/login.php");
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Target.Host, "pan.example.cn");
    EXPECT_EQ(r.Target.Port, "8080");
    EXPECT_EQ(r.Target.Path, "/login.php");
    EXPECT_EQ(r.Location, "http://pan.example.cn:8080/login.php");
}

TEST(HttpRelocation, RelativeNameGoesIntoTheFolderOfTheCurrentPath) {
    const HttpRelocationTarget r = ResolveHttpRelocation(current(), "other.php?y=2");
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Target.Path, "/plugins/a/other.php?y=2");
    EXPECT_EQ(r.Location, "http://pan.example.cn:8080/plugins/a/other.php?y=2");
    // From the server's root (no path at all) a relative name still gets its "/".
    EXPECT_EQ(ResolveHttpRelocation(HttpTargetFromUrl("http://h"), "x.html").Target.Path, "/x.html");
}

TEST(HttpRelocation, AbsoluteAddressReplacesServerAndDefaultsPort) {
    HttpRelocationTarget r = ResolveHttpRelocation(current(), "HTTPS://Mirror.example.cn");
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Target.Protocol, "https");
    EXPECT_EQ(r.Target.Host, "Mirror.example.cn");
    EXPECT_EQ(r.Target.Port, "443");
    EXPECT_EQ(r.Target.Path, "/");
    EXPECT_EQ(r.Location, "https://Mirror.example.cn");
    r = ResolveHttpRelocation(current(), "http://127.0.0.1:9000/f?a");
    EXPECT_EQ(r.Target.Port, "9000");
    EXPECT_EQ(r.Location, "http://127.0.0.1:9000/f?a");
    // Relative references after a switch to https stay on https.
    const HttpRelocationTarget next = ResolveHttpRelocation(ResolveHttpRelocation(current(), "https://s/").Target, "/x");
    EXPECT_EQ(next.Location, "https://s/x");
}

TEST(HttpRelocation, ProtocolRelativeAndUnusableValues) {
    const HttpRelocationTarget r = ResolveHttpRelocation(current(), "//cdn.example.cn/f.zip");
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Target.Protocol, "http");
    EXPECT_EQ(r.Target.Host, "cdn.example.cn");
    EXPECT_EQ(r.Target.Port, "80");
    EXPECT_FALSE(ResolveHttpRelocation(current(), "").Valid);
    EXPECT_FALSE(ResolveHttpRelocation(current(), "http:///nohost").Valid);
}

// --- request writer ---------------------------------------------------------

TEST(HttpRequestWriter, PostHeaderLinesInTheirOrder) {
    HttpRequestHead head;
    head.Method = "POST";
    head.Target = "/plugins/quellix_client/client_main.php";
    head.Version = "1.0";
    head.Accept = "*/*";
    head.ContentType = "application/x-www-form-urlencoded";
    head.Agent = "quellix-client";
    head.Host = "pan.example.cn";
    head.Port = "80";
    head.NoCache = true;
    head.ContentLength = 12;
    head.RangeBegin = "500";
    EXPECT_EQ(BuildHttpRequestHeader(head),
              "POST /plugins/quellix_client/client_main.php HTTP/1.0\r\n"
              "Accept: */*\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "User-Agent: quellix-client\r\n"
              "Host: pan.example.cn\r\n"
              "Pragma: no-cache\r\n"
              "Content-Length: 12\r\n"
              "Range: bytes=500-\r\n"
              "\r\n");
}

TEST(HttpRequestWriter, HostPortRuleAndNoInjectedLines) {
    HttpRequestHead head;
    head.Method = "GET";
    head.Target = "/";
    head.Version = "1.1";
    head.Host = "h";
    head.Port = "443";
    head.Agent = "evil\r\nCookie: x";
    EXPECT_EQ(BuildHttpRequestHeader(head), "GET / HTTP/1.1\r\nUser-Agent: evilCookie: x\r\nHost: h:443\r\n\r\n");
}

// --- header parser ----------------------------------------------------------

HttpHeaderParser::Step feedAll(HttpHeaderParser& parser, const QByteArray& bytes) {
    return parser.Feed(bytes.constData(), bytes.size());
}

TEST(HttpHeaderParser, StatusLineAndRecognisedFields) {
    HttpHeaderParser parser;
    parser.Reset("1.1");
    const QByteArray bytes =
        "HTTP/1.1  206 Partial Content\r\n"
        "Content-Length:  +100 \r\n"
        "Content-Range: bytes 100-199/1000\r\n"
        "Accept-Ranges: bytes\r\n"
        "Content-Type: Text/HTML\r\n"
        "Transfer-Encoding: Chunked\r\n"
        "LOCATION: /next\r\n"
        "X-Other: ignored\n"
        "no colon here\r\n"
        "\r\n"
        "BODY";
    const auto step = feedAll(parser, bytes);
    ASSERT_EQ(step.status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(step.consumed, bytes.size() - 4);
    const HttpResponseHead& h = parser.Head();
    EXPECT_EQ(h.Version, "1.1");
    EXPECT_EQ(h.StatusCode, 206);
    EXPECT_EQ(h.ReasonPhrase, "Partial Content");
    EXPECT_EQ(h.ContentLength, 100);
    EXPECT_EQ(h.ContentRangeBegin, "100");
    EXPECT_EQ(h.ContentRangeEnd, "199");
    EXPECT_EQ(h.AcceptRanges, "bytes");
    EXPECT_EQ(h.ContentType, "text/html");
    EXPECT_EQ(h.TransferCoding, "chunked");
    EXPECT_EQ(h.Location, "/next");
    EXPECT_FALSE(h.CloseAfter);
    EXPECT_EQ(h.Lines.size(), 9);
}

TEST(HttpHeaderParser, CloseAfterFollowsVersionsAndConnectionLine) {
    struct Case { const char* requestVer; QByteArray reply; bool closeAfter; };
    const Case cases[] = {
        {"1.0", "HTTP/1.1 200 OK\r\n\r\n", true},
        {"1.1", "HTTP/1.0 200 OK\r\n\r\n", true},
        {"1.1", "HTTP/1.1 200 OK\r\n\r\n", false},
        {"1.1", "HTTP/1.1 200 OK\r\nConnection:  Close \r\n\r\n", true},
        {"1.1", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\n\r\n", false},
        {"1.1", "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\n\r\n", true},
    };
    for (const Case& c : cases) {
        HttpHeaderParser parser;
        parser.Reset(c.requestVer);
        ASSERT_EQ(feedAll(parser, c.reply).status, HttpHeaderParser::Status::Complete);
        EXPECT_EQ(parser.Head().CloseAfter, c.closeAfter) << c.requestVer << " " << c.reply.constData();
    }
}

TEST(HttpHeaderParser, NegativeOrBadContentLengthCountsAsAbsent) {
    for (const QByteArray value : {"-5", "abc", "99999999999999999999", "", "12x"}) {
        HttpHeaderParser parser;
        parser.Reset("1.0");
        feedAll(parser, "HTTP/1.0 200 OK\r\nContent-Length: " + value + "\r\n\r\n");
        EXPECT_EQ(parser.Head().ContentLength, -1) << value.constData();
    }
}

TEST(HttpHeaderParser, NeedsMoreUntilTheEmptyLineAndConsumesWholeLinesOnly) {
    HttpHeaderParser parser;
    parser.Reset("1.0");
    const QByteArray bytes = "HTTP/1.0 404 Not Found\r\nContent-Le";
    const auto step = feedAll(parser, bytes);
    EXPECT_EQ(step.status, HttpHeaderParser::Status::NeedMore);
    EXPECT_EQ(step.consumed, 24);
    EXPECT_EQ(parser.Head().StatusCode, 404);
    const QByteArray rest = bytes.mid(step.consumed) + "ngth: 3\r\n\r\n";
    EXPECT_EQ(feedAll(parser, rest).status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(parser.Head().ContentLength, 3);
}

TEST(HttpHeaderParser, InterimResponsesAreSkippedOnlyForHttp11) {
    HttpHeaderParser parser;
    parser.Reset("1.1");
    const QByteArray bytes = "HTTP/1.1 100 Continue\r\nX: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";
    ASSERT_EQ(feedAll(parser, bytes).status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(parser.Head().StatusCode, 200);
    EXPECT_EQ(parser.Head().Lines, QList<QByteArray>({"HTTP/1.1 200 OK", "Content-Length: 2"}));

    parser.Reset("1.0");
    ASSERT_EQ(feedAll(parser, "HTTP/1.0 100 Continue\r\n\r\n").status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(parser.Head().StatusCode, 100);
}

TEST(HttpHeaderParser, OtherFirstLinesAndHeaderlessHtml) {
    HttpHeaderParser parser;
    parser.Reset("1.0");
    ASSERT_EQ(feedAll(parser, "HTTP/2 200 OK\r\nContent-Length: 1\r\n\r\n").status,
              HttpHeaderParser::Status::Complete);
    EXPECT_EQ(parser.Head().StatusCode, 0);
    EXPECT_EQ(parser.Head().ContentLength, 1);

    parser.Reset("1.0");
    ASSERT_EQ(feedAll(parser, "HTTP/1.1 2x0 Odd\r\n\r\n").status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(parser.Head().StatusCode, 0);

    // A first line that is no status line is never read as a field.
    parser.Reset("1.0");
    ASSERT_EQ(feedAll(parser, "Location: http://elsewhere/\r\nContent-Length: 7\r\n\r\n").status,
              HttpHeaderParser::Status::Complete);
    EXPECT_FALSE(parser.Head().LocationSeen);
    EXPECT_EQ(parser.Head().StatusCode, 0);
    EXPECT_EQ(parser.Head().ContentLength, 7);
    EXPECT_EQ(parser.Head().Lines, QList<QByteArray>({"Location: http://elsewhere/", "Content-Length: 7"}));

    parser.Reset("1.0");
    EXPECT_EQ(feedAll(parser, "<!DOC").status, HttpHeaderParser::Status::NeedMore);
    const auto step = feedAll(parser, "<!DOCTYPE html><p>hi");
    ASSERT_EQ(step.status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(step.consumed, 0);  // every byte is the document
    EXPECT_TRUE(parser.Head().Headerless);
    EXPECT_EQ(parser.Head().ContentType, "text/html");
}

TEST(HttpHeaderParser, OversizedLinesAndHeadersAreRefused) {
    HttpHeaderParser parser;
    parser.Reset("1.0");
    // An endless line is refused once it passes 100 KiB, even without its LF.
    QByteArray line = "HTTP/1.0 200 OK\r\nX: " + QByteArray(HttpHeaderParser::MaxLineBytes, 'a');
    auto step = feedAll(parser, line);
    EXPECT_EQ(step.status, HttpHeaderParser::Status::Error);
    EXPECT_FALSE(parser.ErrorText().isEmpty());

    parser.Reset("1.0");
    QByteArray many = "HTTP/1.0 200 OK\r\n";
    while (many.size() <= HttpHeaderParser::MaxHeaderBytes)
        many += "X-Filler: " + QByteArray(1000, 'b') + "\r\n";
    step = feedAll(parser, many);
    EXPECT_EQ(step.status, HttpHeaderParser::Status::Error);

    // Just under both limits is fine.
    parser.Reset("1.0");
    step = feedAll(parser, "HTTP/1.0 200 OK\r\nX: " + QByteArray(100 * 1024 - 10, 'c') + "\r\n\r\n");
    EXPECT_EQ(step.status, HttpHeaderParser::Status::Complete);
}

TEST(HttpHeaderParser, ByteByByteGivesTheSameResult) {
    const QByteArray bytes = "\r\nHTTP/1.1 302 Found\r\nLocation: /a\r\nContent-Length: 0\r\n\r\nrest";
    HttpHeaderParser parser;
    parser.Reset("1.1");
    QByteArray pending;
    HttpHeaderParser::Step step{HttpHeaderParser::Status::NeedMore, 0};
    qsizetype i = 0;
    for (; i < bytes.size() && step.status == HttpHeaderParser::Status::NeedMore; ++i) {
        pending += bytes[i];
        step = feedAll(parser, pending);
        pending.remove(0, step.consumed);
    }
    ASSERT_EQ(step.status, HttpHeaderParser::Status::Complete);
    EXPECT_EQ(bytes.mid(i), "rest");
    EXPECT_EQ(parser.Head().StatusCode, 302);
    EXPECT_EQ(parser.Head().Location, "/a");
    EXPECT_EQ(parser.Head().ContentLength, 0);
}

// --- body reader ------------------------------------------------------------

// Feeds `input` in slices of `slice` bytes and collects the body.
struct BodyRun {
    QByteArray body;
    bool complete = false;
    bool error = false;
    QByteArray left;
};

BodyRun readBody(HttpBodyReader::Mode mode, qint64 length, const QByteArray& input, qsizetype slice) {
    HttpBodyReader reader;
    reader.Start(mode, length);
    BodyRun run;
    QByteArray pending;
    qsizetype next = 0;
    while (!run.complete && !run.error) {
        const auto step = reader.Feed(pending.constData(), pending.size());
        run.body += pending.mid(step.dataOffset, step.dataLength);
        pending.remove(0, step.consumed);
        run.complete = step.complete;
        run.error = step.error;
        if (step.consumed == 0 && step.dataLength == 0 && !step.complete && !step.error) {
            if (next >= input.size())
                break;
            pending += input.mid(next, slice);
            next += slice;
        }
    }
    run.left = pending + input.mid(next);
    return run;
}

TEST(HttpBodyReader, LengthBoundedBodyStopsAtItsLength) {
    for (qsizetype slice : {1, 3, 1000}) {
        const BodyRun run = readBody(HttpBodyReader::Mode::Length, 5, "hello, next response", slice);
        EXPECT_TRUE(run.complete);
        EXPECT_EQ(run.body, "hello");
        EXPECT_EQ(run.left, ", next response");
    }
}

TEST(HttpBodyReader, ChunkedWithExtensionsAndTrailers) {
    const QByteArray input =
        "1a;name=value\r\n" + QByteArray(26, 'x') + "\r\n"
        "3\r\nabc\r\n"
        "0\r\nX-Trailer: 1\r\n\r\n"
        "NEXT";
    for (qsizetype slice : {1, 2, 7, 4096}) {
        const BodyRun run = readBody(HttpBodyReader::Mode::Chunked, -1, input, slice);
        EXPECT_TRUE(run.complete) << slice;
        EXPECT_EQ(run.body, QByteArray(26, 'x') + "abc");
        EXPECT_EQ(run.left, "NEXT");
    }
}

TEST(HttpBodyReader, ChunkSizesThatDoNotFit63BitsOrAreMissingFail) {
    EXPECT_TRUE(readBody(HttpBodyReader::Mode::Chunked, -1, "8000000000000000\r\n", 100).error);
    EXPECT_TRUE(readBody(HttpBodyReader::Mode::Chunked, -1, "00000000000000000000001\r\nx\r\n0\r\n\r\n", 100)
                    .complete);  // leading zeros are no overflow
    const BodyRun biggest = readBody(HttpBodyReader::Mode::Chunked, -1, "7fffffffffffffff\r\nabc", 100);
    EXPECT_FALSE(biggest.error);
    EXPECT_EQ(biggest.body, "abc");
    EXPECT_TRUE(readBody(HttpBodyReader::Mode::Chunked, -1, "zz\r\n", 100).error);
    EXPECT_TRUE(readBody(HttpBodyReader::Mode::Chunked, -1, "1;" + QByteArray(200 * 1024, 'e'), 4096).error);
}

TEST(HttpBodyReader, UntilCloseTakesEverything) {
    const BodyRun run = readBody(HttpBodyReader::Mode::UntilClose, -1, "all of it", 4);
    EXPECT_FALSE(run.complete);
    EXPECT_EQ(run.body, "all of it");
}

// --- receive buffer ---------------------------------------------------------

TEST(HttpReceiveBuffer, KeepsRoomForReadsWithoutGrowingWhileConsumed) {
    HttpReceiveBuffer buffer;
    for (int round = 0; round < 1000; ++round) {
        char* room = buffer.PrepareWrite(8192, 65536);
        ASSERT_GE(buffer.FreeSpace(), 8192);
        std::memset(room, 'a' + round % 26, 10000);
        buffer.CommitWrite(10000);
        buffer.Consume(9990);  // a few bytes stay pending each round
        if (round % 100 == 99)
            buffer.Consume(buffer.Size());
    }
    EXPECT_LE(buffer.Capacity(), 200000);
    buffer.Clear();
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST(HttpReceiveBuffer, PendingBytesSurviveCompaction) {
    HttpReceiveBuffer buffer;
    std::memcpy(buffer.PrepareWrite(8192, 8192), "0123456789", 10);
    buffer.CommitWrite(10);
    buffer.Consume(6);
    buffer.PrepareWrite(buffer.Capacity(), buffer.Capacity());
    EXPECT_EQ(QByteArray(buffer.Data(), buffer.Size()), "6789");
}

}  // namespace

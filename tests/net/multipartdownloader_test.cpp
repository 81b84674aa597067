// TMultipartHttpDownloader against a scripted range server: the exact
// requests, the events, the destination byte for byte, and the faults a
// range can meet (200 for a range, a cut, a redirect, silence, a server that
// never serves it, a full disk) and the owner's actions inside events.

#include "net/downloadstats.h"
#include "net/multipartdownloader.h"
#include "net/socketerror.h"
#include "support/nginxserver.h"
#include "support/rangeserver.h"
#include "support/testutil.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Then = HttpReply::Then;

// Bytes that differ from one offset to the next, so a block written at the
// wrong place shows.
QByteArray Document(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 12345;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

struct Segment {
    qint64 start, span, init;
    bool operator==(const Segment&) const = default;
};

// A downloader writing into a fresh file, with every event recorded.
struct Download {
    explicit Download(const QByteArray& url, int parts = 2) : file(dir.filePath(QStringLiteral("out.bin"))) {
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        d->URL = url;
        d->PartCount = parts;
        d->FileStream = &file;
        d->RetryDelay = 5;
        d->OnDisplay = [this](TMultipartHttpDownloader&, const QByteArray& msg) { display << msg; };
        d->OnShowStats = [this](TMultipartHttpDownloader&) { ++stats; };
        d->OnProgressAddSegment = [this](TMultipartHttpDownloader&, qint64 s, qint64 a, qint64 i) {
            segments << Segment{s, a, i};
        };
        d->OnProgressSetPosition = [this](TMultipartHttpDownloader&, int index, qint64 position) {
            positions[index] << position;
        };
        d->OnRequestDone = [this](TMultipartHttpDownloader& sender, int code, const QByteArray& text) {
            ++done;
            errorCode = code;
            reason = text;
            streamAtDone = sender.FileStream;
            fileOpenAtDone = file.isOpen();
        };
    }
    bool run(int timeoutMs = 10000) {
        d->Start();
        return WaitFor([&] { return done > 0; }, timeoutMs);
    }
    QByteArray written() const { return ReadFileBytes(file.fileName()); }
    bool displayed(const QByteArray& msg) const { return display.contains(msg); }

    QTemporaryDir dir;
    QFile file;
    std::unique_ptr<TMultipartHttpDownloader> d = std::make_unique<TMultipartHttpDownloader>();
    QList<QByteArray> display;
    QList<Segment> segments;
    QMap<int, QList<qint64>> positions;
    int stats = 0;
    int done = 0;
    int errorCode = -1;
    QByteArray reason;
    QIODevice* streamAtDone = nullptr;
    bool fileOpenAtDone = true;
};

QByteArray rangeRequest(const RangeServer& server, const QByteArray& path, const QByteArray& range) {
    return "GET " + path + " HTTP/1.0\r\nAccept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
           "User-Agent: Mozilla/4.0 (compatible; QHC)\r\nHost: 127.0.0.1:" + QByteArray::number(server.port()) +
           "\r\n" + (range.isEmpty() ? QByteArray() : "Range: bytes=" + range + "\r\n") + "\r\n";
}

HttpReply reply(const QByteArray& bytes, Then then = Then::Close) { return HttpReply{bytes, then}; }

TEST(MultipartDownloader, StartRefusesFewerThanTwoPartsOrARangeCountOutsideOneToEight) {
    RangeServer server(Document(10));
    Download dl(server.url());
    const auto refused = [&](const char* message) {
        try {
            dl.d->Start();
        } catch (const ERangeError& e) {
            EXPECT_EQ(e.message(), message);
            return dl.d->Parts().isEmpty();
        }
        return false;
    };
    for (int parts : {1, -3}) {
        dl.d->PartCount = parts;
        EXPECT_TRUE(refused("PartCount must be positive")) << parts;
    }
    dl.d->PartCount = 0;  // RangeCount decides
    for (int ranges : {0, 9, -1}) {
        dl.d->RangeCount = ranges;
        EXPECT_TRUE(refused("RangeCount must be between 1 and 8")) << ranges;
    }
    EXPECT_TRUE(server.requests().isEmpty());
    dl.d->RangeCount = 2;
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(server.requests().first().bytes, rangeRequest(server, "/file.bin", ""));  // the probe came first
}

TEST(MultipartDownloader, RangeCountSetsTheConnectionsAndTwoIsTheDefault) {
    EXPECT_EQ(TMultipartHttpDownloader().RangeCount, 2);
    for (int count : {1, 2, 3, 8}) {
        SCOPED_TRACE(count);
        RangeServer server(Document(100000));
        Download dl(server.url(), 0);
        dl.d->RangeCount = count;
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.written(), server.document());
        QList<qint64> starts;
        for (const RangeRequest& r : server.requests().mid(1))
            starts << r.begin;
        std::sort(starts.begin(), starts.end());
        QList<qint64> expected;
        for (const DownloadRange& r : SplitDocument(100000, count))
            expected << r.StartOffset;
        EXPECT_EQ(starts, expected);
    }
    RangeServer one(Document(5000));
    Download single(one.url(), 0);
    single.d->RangeCount = 1;
    ASSERT_TRUE(single.run());
    ASSERT_EQ(one.requests().size(), 2);
    EXPECT_EQ(one.requests()[1].bytes, rangeRequest(one, "/file.bin", "0-5000"));
}

TEST(MultipartDownloader, ARangeDoneEarlyTakesOverHalfOfTheSlowestAndTheSlowOneStopsThere) {
    // The second range's first connection trickles from its first byte on;
    // the first range, done at once, takes over half of what the second has
    // left, and again and again, until one byte is left to it.
    RangeServer server(Document(200000));
    bool slowed = false;
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin != 100001 || slowed)
            return std::nullopt;
        slowed = true;
        HttpReply slow{server.normalReply(r), Then::Trickle};
        slow.trickleMs = 2;
        return slow;
    };
    Download dl(server.url());
    dl.d->StealMinimum = 2;
    ASSERT_TRUE(dl.run(20000));
    EXPECT_EQ(std::pair(dl.errorCode, dl.reason), std::pair(200, QByteArray("OK")));
    EXPECT_EQ(dl.written(), server.document());
    // The first take-over: the upper half of the 99999 bytes of 100001-199999.
    EXPECT_TRUE(dl.displayed("Index 0 takes over bytes 150000-199999 of index 1"));
    ASSERT_EQ(server.rangesFrom(150000).size(), 1);
    EXPECT_EQ(server.rangesFrom(150000)[0].bytes, rangeRequest(server, "/file.bin", "150000-200000"));
    // And so on while the slow one has two bytes or more left.
    EXPECT_GE(dl.segments.size(), 2 + 10);
    // The slow connection ended where the bytes taken over begin: each byte
    // was written once.
    EXPECT_EQ(dl.d->TotalCount(), 200000);
    EXPECT_EQ(dl.d->CompleteSpans(), QList<ByteSpan>({{0, 200000}}));
}

// A file holding the document's bytes in `spans` and zeros elsewhere.
void PrefillFile(QFile& file, const QByteArray& document, const QList<ByteSpan>& spans) {
    QByteArray bytes(document.size(), '\0');
    for (const ByteSpan& span : spans)
        bytes.replace(span.Begin, span.Size(), document.mid(span.Begin, span.Size()));
    file.write(bytes);
    file.flush();
}

TEST(MultipartDownloader, AContinuedDownloadAsksOnlyForTheMissingBytesOfAnUnchangedDocument) {
    RangeServer server(Document(100000));
    Download dl(server.url(), 0);
    const QList<ByteSpan> had = {{0, 30000}, {60000, 70000}};
    PrefillFile(dl.file, server.document(), had);
    dl.d->Resume = {100000, QByteArray(), QByteArray(), had};
    int startedOver = 0;
    dl.d->OnStartOver = [&](TMultipartHttpDownloader&, TStartOverReason) { ++startedOver; };
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.errorCode, 200);
    EXPECT_EQ(dl.written(), server.document());
    QList<QByteArray> asked;
    for (const RangeRequest& r : server.requests().mid(1))
        asked << r.bytes;
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, QList<QByteArray>({rangeRequest(server, "/file.bin", "30000-59999"),
                                        rangeRequest(server, "/file.bin", "70000-100000")}));
    EXPECT_EQ(dl.d->TotalCount(), 60000);
    EXPECT_EQ(startedOver, 0);
    EXPECT_FALSE(dl.d->StartedOver());

    // Everything there already: the probe alone.
    RangeServer again(Document(100000));
    Download whole(again.url(), 0);
    PrefillFile(whole.file, again.document(), {{0, 100000}});
    whole.d->Resume = {100000, QByteArray(), QByteArray(), {{0, 100000}}};
    ASSERT_TRUE(whole.run());
    EXPECT_EQ(whole.errorCode, 200);
    EXPECT_EQ(again.requests().size(), 1);
    EXPECT_EQ(whole.written(), again.document());
}

TEST(MultipartDownloader, AChangedDocumentOrAServerWithoutRangesStartsAContinuedDownloadOver) {
    enum Change { Size, Version, NoRanges };
    for (Change change : {Size, Version, NoRanges}) {
        SCOPED_TRACE(int(change));
        RangeServer server(Document(100000));
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin < 0)
                return reply(server.normalReply(r).replace("Accept-Ranges", "ETag: \"v2\"\r\nAccept-Ranges"));
            if (change == NoRanges)
                return reply(server.normalReply(RangeRequest{}));
            return std::nullopt;
        };
        Download dl(server.url(), 0);
        PrefillFile(dl.file, QByteArray(100000, 'x'), {{0, 40000}});  // not the document's bytes
        dl.d->Resume = {change == Size ? 99999 : 100000, QByteArray(), change == Version ? "\"v1\"" : "\"v2\"",
                        {{0, 40000}}};
        QList<TStartOverReason> reasons;
        dl.d->OnStartOver = [&](TMultipartHttpDownloader&, TStartOverReason reason) { reasons << reason; };
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.written(), server.document());
        const TStartOverReason expected = change == Size      ? TStartOverReason::SizeChanged
                                          : change == Version ? TStartOverReason::VersionChanged
                                                              : TStartOverReason::NoRanges;
        EXPECT_EQ(reasons, QList<TStartOverReason>({expected}));
        EXPECT_TRUE(dl.d->StartedOver());
        EXPECT_EQ(dl.d->DocumentETag(), "\"v2\"");
        if (change != NoRanges) {
            EXPECT_EQ(server.rangesFrom(0).size(), 1);  // from the first byte again
        }
    }
}

TEST(MultipartDownloader, StopDropsTheTransferSilentlyAndKeepsWhatWasWritten) {
    RangeServer server(Document(100000));
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin < 0)
            return std::nullopt;
        HttpReply stuck{server.normalReply(r), Then::Trickle};  // 5000 bytes, then hardly anything
        stuck.trickleAfter = int(server.normalReply(r, 0).size()) + 5000;
        stuck.trickleMs = 600000;
        return stuck;
    };
    Download dl(server.url(), 0);
    dl.d->Start();
    ASSERT_TRUE(WaitFor([&] { return dl.d->TotalCount() == 10000; }));
    dl.d->Stop();
    EXPECT_EQ(dl.d->state(), TMultipartHttpDownloader::State::Idle);
    EXPECT_EQ(dl.d->CompleteSpans(), QList<ByteSpan>({{0, 5000}, {50001, 55001}}));
    EXPECT_TRUE(dl.d->Parts().isEmpty());
    // Its connections close; no event comes.
    for (ScriptedConnection* c : server.server().connections())
        EXPECT_TRUE(c->waitForPeerClose());
    EXPECT_EQ(dl.done, 0);
    EXPECT_TRUE(dl.file.isOpen());
}

TEST(MultipartDownloader, RangesAskExactlyTheComputedBytesAndFillTheFile) {
    struct Case {
        qsizetype length;
        int parts;
        QList<QByteArray> ranges;
    };
    const QList<Case> cases = {
        {1000, 2, {"0-500", "501-1000"}}, {10, 3, {"0-3", "4-7", "8-10"}}, {8, 4, {"0-2", "3-5", "6-8"}},
        {7, 2, {"0-3", "4-7"}},           {3, 2, {"0-1", "2-3"}},         {2, 2, {"0-1"}},
        {1, 2, {"0-0"}},                  {5, 5, {"0-1", "2-3", "4-5"}},  {12345, 3, {"0-4115", "4116-8231", "8232-12345"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " bytes, " << c.parts << " parts");
        RangeServer server(Document(c.length));
        Download dl(server.url(), c.parts);
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.reason, "OK");
        EXPECT_EQ(dl.written(), server.document());
        ASSERT_EQ(server.requests().size(), 1 + c.ranges.size());
        QList<QByteArray> asked;
        for (const RangeRequest& r : server.requests().mid(1))
            asked << r.bytes;
        std::sort(asked.begin(), asked.end());
        QList<QByteArray> expected;
        for (const QByteArray& range : c.ranges)
            expected << rangeRequest(server, "/file.bin", range);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(asked, expected);
        EXPECT_EQ(dl.segments.size(), c.ranges.size());
        EXPECT_EQ(dl.d->TotalCount(), c.length);
    }
}

TEST(MultipartDownloader, ASuccessfulTransferReportsInOrderAndClosesTheFileFirst) {
    RangeServer server(Document(1000));
    Download dl(server.url("/my%20file+v%2B1.bin?x=1"));
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.segments, QList<Segment>({{0, 500, 0}, {501, 499, 501}}));
    const QList<QByteArray> head = {"GetASync",
                                    "HeaderEnd ContentLength = 1000",
                                    "HeaderEnd AcceptRanges = bytes",
                                    "HeaderEnd DocName = my file v+1.bin",
                                    "HeaderEnd StatusCode = 200 OK",
                                    "GetASyncRequestDone",
                                    "GetASync"};
    ASSERT_EQ(dl.display.size(), head.size() + 4);
    EXPECT_EQ(dl.display.mid(0, head.size()), head);
    QList<QByteArray> ends = dl.display.mid(head.size(), 2);
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, QList<QByteArray>({"Download done index = 0 OK", "Download done index = 1 OK"}));
    EXPECT_EQ(dl.display.mid(head.size() + 2), QList<QByteArray>({"Done", "All done"}));
    EXPECT_EQ(dl.done, 1);
    EXPECT_EQ(dl.streamAtDone, nullptr);
    EXPECT_FALSE(dl.fileOpenAtDone);
    EXPECT_EQ(dl.positions[0].last(), 501);
    EXPECT_EQ(dl.positions[1].last(), 1000);
    EXPECT_EQ(dl.d->ContentLength(), 1000);
    EXPECT_DOUBLE_EQ(dl.d->PercentDone(), 100.0);
    EXPECT_TRUE(std::isfinite(dl.d->CurSpeed()));  // even when no millisecond passed
    EXPECT_GE(dl.stats, 4);
    EXPECT_EQ(dl.d->state(), TMultipartHttpDownloader::State::Done);
}

TEST(MultipartDownloader, TheDestinationEndsExactlyAtTheDocument) {
    // A document of length 0 (how site scripts refuse a download) is no
    // complete download: the probe is aborted at its header.
    RangeServer empty(QByteArray{});
    Download dl(empty.url());
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(std::pair(dl.errorCode, dl.reason), std::pair(3, QByteArray("Download failed")));
    EXPECT_TRUE(dl.displayed("ErrorCode = 3"));
    EXPECT_EQ(empty.requests().size(), 1);
    EXPECT_EQ(dl.streamAtDone, &dl.file);  // left to the owner, as on every failure
    EXPECT_TRUE(dl.written().isEmpty());

    RangeServer server(Document(3000));
    Download old(server.url());
    old.file.close();
    WriteFileBytes(old.file.fileName(), QByteArray(5000, 'x'));
    old.file.open(QIODevice::WriteOnly);  // not truncated
    ASSERT_TRUE(old.run());
    EXPECT_EQ(old.written(), server.document());

    // A range reply longer than the range: the surplus is not written.
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin != 1501)
            return std::nullopt;
        return reply(server.normalReply(r).replace("Content-Length: 1499", "Content-Length: 1504") + "XXXXX");
    };
    Download longer(server.url());
    ASSERT_TRUE(longer.run());
    EXPECT_EQ(longer.errorCode, 200);
    EXPECT_EQ(longer.written(), server.document());
}

TEST(MultipartDownloader, ARangeNotServedAsAskedIsNotWrittenAndIsAskedAgain) {
    // A 200 with the whole document for a range that does not start at 0, a
    // 206 for other bytes, and a 206 without Content-Range of another length.
    const QByteArray doc = Document(1000);
    const QList<qint64> totals = {1000, 1000, 1000};
    const QList<QByteArray> statuses = {"200", "206", "206"};
    const QList<std::function<QByteArray(RangeServer&, const RangeRequest&)>> faults = {
        [](RangeServer& s, const RangeRequest&) { return s.normalReply(RangeRequest{}); },
        [](RangeServer& s, const RangeRequest& r) { return s.normalReply(RangeRequest{{}, {}, r.begin + 1, r.end}); },
        [](RangeServer& s, const RangeRequest& r) {
            return s.normalReply(RangeRequest{{}, {}, r.begin + 1, r.end})
                .replace("Content-Range: bytes 502-999/1000\r\n", "");
        },
    };
    for (int i = 0; i < faults.size(); ++i) {
        const auto& fault = faults[i];
        RangeServer server(doc);
        bool faulted = false;
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin != 501 || std::exchange(faulted, true))
                return std::nullopt;
            return reply(fault(server, r));
        };
        Download dl(server.url());
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.written(), doc);  // never longer, nothing out of place
        EXPECT_EQ(dl.d->TotalCount(), totals[i]);
        const QList<RangeRequest> asked = server.rangesFrom(501);
        ASSERT_EQ(asked.size(), 2);
        EXPECT_EQ(asked[0].bytes, asked[1].bytes);
        EXPECT_TRUE(dl.displayed("Download done index = 1  Status = " + statuses[i]));
        EXPECT_TRUE(dl.displayed("Restarting 1"));
        EXPECT_EQ(dl.positions[1].count(501), 1);  // the restart put the gauge back
    }
}

TEST(MultipartDownloader, ARangeCutOrEndedShortContinuesWhereItStopped) {
    // A connection reset after 1000 bytes, and a complete 206 that announced
    // fewer bytes than the range.
    for (const bool reset : {true, false}) {
        RangeServer server(Document(100000));
        int count = 0;
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin != 50001 || count++ > 0)
                return std::nullopt;
            if (reset)
                return reply(server.normalReply(r, 1000), Then::Abort);
            return reply(server.normalReply(r, 1000).replace("Content-Length: 49999", "Content-Length: 1000"));
        };
        Download dl(server.url());
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.written(), server.document());
        EXPECT_EQ(server.rangesFrom(50001).size(), 1);
        ASSERT_EQ(server.rangesFrom(51001).size(), 1);
        EXPECT_EQ(server.rangesFrom(51001)[0].bytes, rangeRequest(server, "/file.bin", "51001-100000"));
        if (reset) {
            EXPECT_TRUE(
                dl.displayed("Download done index = 1  ErrorCode = " + QByteArray::number(WinSock::ConnectionReset)));
        }
        EXPECT_EQ(dl.d->TotalCount(), 100000);  // every byte asked for once
        const QList<qint64>& gauge = dl.positions[1];
        EXPECT_EQ(gauge.mid(gauge.indexOf(51001), 2), QList<qint64>({51001, 51001}));  // the gauge keeps its place
    }
}

TEST(MultipartDownloader, AServerWithoutRangesGivesOneStreamFromTheFirstRange) {
    // Every ranged request answered with the whole document; and a server
    // that ignores only the first range while serving the second.
    for (const bool secondServed : {false, true}) {
        RangeServer server(Document(100000));
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin < 0 || (secondServed && r.begin > 0))
                return std::nullopt;
            return reply(server.normalReply(RangeRequest{}));
        };
        Download dl(server.url());
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.errorCode, 200);
        EXPECT_EQ(dl.written(), server.document());
        EXPECT_TRUE(dl.displayed("Ranges ignored by the server: one stream from index 0"));
        EXPECT_EQ(dl.d->Parts().size(), 1);
        EXPECT_EQ(dl.positions[0].last(), 100000);
        EXPECT_EQ(dl.positions[1].last(), 50001);  // the second range's share went back to nothing
        EXPECT_LE(server.rangesFrom(50001).size(), 5);
    }
}

TEST(MultipartDownloader, RedirectedRangesContinueWhereTheyStoodAndRedirectBodiesStayOut) {
    RangeServer server(Document(1000));
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.path != "/file.bin" || r.begin < 0)
            return std::nullopt;
        if (r.begin == 0)  // 300 bytes of range 0, then elsewhere
            return reply(server.normalReply(r, 300)
                             .replace("0-500/", "0-299/")
                             .replace("Content-Length: 501", "Location: /moved.bin\r\nContent-Length: 300"));
        const QByteArray page = "<html>moved</html>";
        return reply("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + QByteArray::number(server.port()) +
                     "/other.bin\r\nContent-Length: " + QByteArray::number(page.size()) + "\r\n\r\n" + page);
    };
    Download dl(server.url());
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.written(), server.document());
    ASSERT_EQ(server.rangesFrom(300).size(), 1);
    EXPECT_EQ(server.rangesFrom(300)[0].bytes, rangeRequest(server, "/moved.bin", "300-500"));
    ASSERT_EQ(server.rangesFrom(501).size(), 2);
    EXPECT_EQ(server.rangesFrom(501)[1].bytes, rangeRequest(server, "/other.bin", "501-1000"));
    EXPECT_TRUE(dl.displayed("LocationChange = " + server.url("/moved.bin")));
    EXPECT_EQ(dl.d->TotalCount(), 1000);
}

TEST(MultipartDownloader, AFailedProbeEndsOnceWithItsStatusOrError) {
    RangeServer server(Document(100));
    server.script = [](const RangeRequest&) {
        return std::optional(reply("HTTP/1.0 404 Not Found\r\nContent-Length: 4\r\n\r\nnope"));
    };
    Download dl(server.url());
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(std::pair(dl.errorCode, dl.reason), std::pair(404, QByteArray("Not Found")));
    EXPECT_EQ(dl.display.mid(dl.display.size() - 3),
              QList<QByteArray>({"HeaderEnd StatusCode = 404 Not Found", "GetASyncRequestDone",
                                 "StatusCode = 404 Not Found"}));
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(dl.segments.isEmpty());
    EXPECT_TRUE(dl.d->Parts().isEmpty());  // nothing left that could ask again
    EXPECT_EQ(dl.streamAtDone, &dl.file);  // the owner closes it
    EXPECT_EQ(dl.d->TotalCount(), 0);

    // A refusal whose body arrives slower than the stall timeout allows
    // between two requests still ends with its own status.
    const QByteArray head = "HTTP/1.0 404 Not Found\r\nContent-Length: 8\r\n\r\n";
    server.script = [&](const RangeRequest&) {
        return std::optional(HttpReply{head + "slowbody", Then::Trickle, 60, int(head.size())});
    };
    Download slow(server.url());
    slow.d->StallTimeout = 200;
    ASSERT_TRUE(slow.run());
    EXPECT_EQ(std::pair(slow.errorCode, slow.reason), std::pair(404, QByteArray("Not Found")));

    Download refused("http://127.0.0.1:" + QByteArray::number(UnusedPort()) + "/f");
    ASSERT_TRUE(refused.run());
    EXPECT_EQ(std::pair(refused.errorCode, refused.reason), std::pair(10061, QByteArray("Download failed")));
    EXPECT_TRUE(refused.displayed("ErrorCode = 10061"));

    RangeServer noLength(Document(10));
    noLength.script = [](const RangeRequest&) { return std::optional(reply("HTTP/1.0 200 OK\r\n\r\nabc")); };
    Download unknown(noLength.url());
    ASSERT_TRUE(unknown.run());
    EXPECT_EQ(std::pair(unknown.errorCode, unknown.reason), std::pair(3, QByteArray("Download failed")));
}

TEST(MultipartDownloader, StartAgainWhileRangesRunReplacesTheTransferSilently) {
    RangeServer first(Document(1000));
    first.script = [](const RangeRequest& r) {
        return r.begin < 0 ? std::nullopt : std::optional(reply({}, Then::Silence));
    };
    RangeServer second(Document(777));
    Download dl(first.url());
    dl.d->Start();
    ASSERT_TRUE(first.waitForRequests(3));
    QList<QPointer<TMyHttpCli>> old(dl.d->Parts().begin(), dl.d->Parts().end());
    const int displayed = int(dl.display.size());
    dl.d->URL = second.url();
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.done, 1);
    EXPECT_EQ(dl.written(), second.document());
    for (const QList<QByteArray>& messages = dl.display.mid(displayed); const QByteArray& m : messages)
        EXPECT_FALSE(m.startsWith("Download done") && m.contains("ErrorCode")) << m.toStdString();
    ASSERT_EQ(first.server().connections().size(), 3);
    EXPECT_TRUE(first.server().connections()[1]->waitForPeerClose());
    EXPECT_TRUE(first.server().connections()[2]->waitForPeerClose());
    EXPECT_TRUE(WaitFor([&] { return std::all_of(old.begin(), old.end(), [](auto& p) { return p.isNull(); }); }));
    EXPECT_EQ(first.requests().size(), 3);
}

TEST(MultipartDownloader, ARangeThatNeverComesEndsTheTransferAtTheBound) {
    struct Case {
        QByteArray reply;
        int code;
    };
    for (const Case& c : {Case{"HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n", 503},
                          Case{{}, DownloadError::BadReply}}) {  // always 200: Range ignored
        RangeServer server(Document(1000));
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin != 501)
                return std::nullopt;
            return reply(c.reply.isEmpty() ? server.normalReply(RangeRequest{}) : c.reply);
        };
        Download dl(server.url());
        ASSERT_TRUE(dl.run());
        EXPECT_EQ(dl.done, 1);
        EXPECT_EQ(dl.errorCode, c.code);
        EXPECT_EQ(dl.reason, "Range 1 failed 5 times in a row (last: Status = " +
                                 QByteArray(c.code == 503 ? "503" : "200") + ")");
        EXPECT_EQ(server.rangesFrom(501).size(), 5);
        EXPECT_TRUE(dl.d->Parts().isEmpty());
        EXPECT_EQ(dl.d->state(), TMultipartHttpDownloader::State::Idle);
    }
}

TEST(MultipartDownloader, ARangeCutAgainAndAgainGoesOnWhileItGetsFurther) {
    for (const bool further : {true, false}) {
        RangeServer server(Document(100000));
        int count = 0;
        server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
            if (r.begin < 50001 || count >= 7)
                return std::nullopt;
            ++count;
            // Getting further: 1000 more bytes every time. Not: the first
            // cut brings 1000 bytes, the later ones none.
            return reply(server.normalReply(r, further || count == 1 ? 1000 : 0), Then::Abort);
        };
        Download dl(server.url());
        ASSERT_TRUE(dl.run());
        if (further) {
            EXPECT_EQ(dl.errorCode, 200);
            EXPECT_EQ(dl.written(), server.document());
            EXPECT_EQ(server.rangesFrom(57001).size(), 1);  // each continuation where the cut left it
        } else {  // the first cut brought bytes; five more brought none
            EXPECT_EQ(dl.errorCode, WinSock::ConnectionReset);
            EXPECT_EQ(server.rangesFrom(51001).size(), 5);
        }
    }
}

TEST(MultipartDownloader, StatisticsTickWhileTheRangesRun) {
    RangeServer server(Document(1000));
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin != 501)
            return std::nullopt;
        return HttpReply{server.normalReply(r), Then::Trickle, 2, int(server.normalReply(r).size()) - 40};
    };
    Download dl(server.url());
    dl.d->StatsInterval = 20;
    QList<double> percents;
    dl.d->OnShowStats = [&](TMultipartHttpDownloader& d) {
        percents << d.PercentDone();
        EXPECT_GE(d.CurSpeed(), 0.0);
        EXPECT_LE(d.PrevCount(), d.TotalCount());
    };
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.errorCode, 200);
    EXPECT_TRUE(std::any_of(percents.begin(), percents.end(), [](double p) { return p > 50 && p < 100; }));
    EXPECT_DOUBLE_EQ(percents.last(), 100.0);
    EXPECT_GT(dl.d->ElapsedTime() * MillisecondsPerDay, 50.0);  // the trickle takes 80 ms at least
}

TEST(MultipartDownloader, ASilentRequestIsAbandonedAfterTheStallTimeout) {
    RangeServer server(Document(1000));
    int count = 0;
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin == 501 && count++ == 0)
            return reply({}, Then::Silence);
        return std::nullopt;
    };
    Download dl(server.url());
    dl.d->StallTimeout = 200;
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(dl.errorCode, 200);
    EXPECT_EQ(dl.written(), server.document());
    EXPECT_TRUE(dl.displayed("Download done index = 1  ErrorCode = 3"));

    server.script = [](const RangeRequest&) { return std::optional(reply({}, Then::Silence)); };
    Download probe(server.url());
    probe.d->StallTimeout = 200;
    ASSERT_TRUE(probe.run());
    EXPECT_EQ(std::pair(probe.errorCode, probe.reason), std::pair(3, QByteArray("Download failed")));
}

// A destination that takes `room` bytes and then fails like a full disk;
// records the positions it is written at.
class TightDevice : public QIODevice {
public:
    explicit TightDevice(qint64 room) : room_(room) { open(QIODevice::WriteOnly); }
    QList<qint64> writes;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override {
        if (len > room_) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        room_ -= len;
        writes << pos();
        return len;
    }

private:
    qint64 room_;
};

TEST(MultipartDownloader, AFailingDestinationEndsTheTransfer) {
    RangeServer server(Document(100000));
    Download dl(server.url());
    TightDevice device(30000);
    dl.d->FileStream = &device;
    ASSERT_TRUE(dl.run());
    EXPECT_EQ(std::pair(dl.errorCode, dl.reason),
              std::pair(DownloadError::WriteFailed, QByteArray("Can't write to the destination: No space left on device")));
    EXPECT_TRUE(dl.d->Parts().isEmpty());
    EXPECT_EQ(server.requests().size(), 3);  // nothing asked again

    Download none(server.url());
    none.d->FileStream = nullptr;
    ASSERT_TRUE(none.run());
    EXPECT_EQ(none.errorCode, DownloadError::WriteFailed);
}

TEST(MultipartDownloader, OffsetsBeyond4GiBAreAskedAndWrittenAt64BitPositions) {
    const qint64 length = 6442450945;  // 6 GiB + 1
    RangeServer server(Document(16));
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin < 0)
            return reply("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n", Then::KeepOpen);
        return reply("HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(r.begin) + "-" +
                         QByteArray::number(r.end) + "/" + QByteArray::number(length) +
                         "\r\nContent-Length: 1000000\r\n\r\n0123456789",
                     Then::KeepOpen);
    };
    Download dl(server.url());
    TightDevice device(1 << 20);
    dl.d->FileStream = &device;
    dl.d->Start();
    ASSERT_TRUE(WaitFor([&] { return device.writes.size() == 2; }));
    EXPECT_EQ(dl.segments, QList<Segment>({{0, 3221225472, 0}, {3221225473, 3221225472, 3221225473}}));
    EXPECT_TRUE(device.writes.contains(3221225473));
    EXPECT_EQ(server.rangesFrom(3221225473)[0].bytes, rangeRequest(server, "/file.bin", "3221225473-6442450945"));
}

TEST(MultipartDownloader, TheOwnerMayDestroyOrRestartTheDownloaderInsideItsEvents) {
    RangeServer server(Document(5000));
    {  // destroyed when done, and in the middle of the ranges
        Download dl(server.url());
        dl.d->OnRequestDone = [&](TMultipartHttpDownloader&, int, const QByteArray&) { ++dl.done, dl.d.reset(); };
        ASSERT_TRUE(dl.run());
        Download mid(server.url());
        mid.d->OnProgressSetPosition = [&](TMultipartHttpDownloader&, int, qint64) { ++mid.done, mid.d.reset(); };
        ASSERT_TRUE(mid.run());
    }
    Download again(server.url());
    again.d->OnRequestDone = [&](TMultipartHttpDownloader& d, int code, const QByteArray&) {
        if (++again.done == 1) {
            EXPECT_EQ(code, 200);
            again.file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            d.FileStream = &again.file;
            d.Start();
        }
    };
    ASSERT_TRUE(again.run());
    ASSERT_TRUE(WaitFor([&] { return again.done == 2; }));
    EXPECT_EQ(again.written(), server.document());
}

TEST(MultipartDownloaderNginx, EverySizeArrivesByteIdenticalAlsoThroughARedirect) {
    QTemporaryDir root;
    const QList<qsizetype> sizes = {0, 1, 2, 3, 12345, (32 << 20) + 1};
    for (qsizetype size : sizes)
        WriteFileBytes(root.filePath(QString::number(size)), Document(size));
    NginxServer nginx;
    ASSERT_TRUE(nginx.start(root.path(), false, "location = /moved { return 302 /33554433; }\n"))
        << nginx.error().toStdString();
    struct Case {
        QByteArray path;
        int parts;
        qsizetype size;
    };
    QList<Case> cases;
    for (qsizetype size : sizes.mid(1))
        cases << Case{"/" + QByteArray::number(size), 2, size};
    cases << Case{"/12345", 5, 12345} << Case{"/33554433", 4, (32 << 20) + 1} << Case{"/moved", 2, (32 << 20) + 1};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " in " + std::to_string(c.parts));
        Download dl(nginx.baseUrl() + c.path, c.parts);
        ASSERT_TRUE(dl.run(30000));
        EXPECT_EQ(std::pair(dl.errorCode, dl.reason), std::pair(200, QByteArray("OK")));
        EXPECT_TRUE(dl.written() == Document(c.size));
        EXPECT_EQ(dl.d->ContentLength(), c.size);
    }
    Download missing(nginx.baseUrl() + "/missing");
    ASSERT_TRUE(missing.run());
    EXPECT_EQ(std::pair(missing.errorCode, missing.reason), std::pair(404, QByteArray("Not Found")));
    Download empty(nginx.baseUrl() + "/0");  // no document to fetch
    ASSERT_TRUE(empty.run());
    EXPECT_EQ(std::pair(empty.errorCode, empty.reason), std::pair(3, QByteArray("Download failed")));
}

}  // namespace

// The download of one file as a queue session: the part and state files,
// the final name only for a complete file, continuation after a stop from
// the complete spans (and starting over when the file changed or the server
// has no ranges), a refused file, and the local disk failing under it.

#include "download/filedownload.h"
#include "net/netconnector.h"
#include "support/scriptedserver.h"
#include "support/nginxserver.h"
#include "support/rangeserver.h"
#include "support/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Then = HttpReply::Then;

QByteArray Document(qsizetype size, quint32 seed = 987) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class FileDownloadTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    QStringList files() const {
        QStringList names = QDir(folder()).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        return names;
    }
    std::unique_ptr<FileDownload> make(const QByteArray& url, const QString& name, qint64 knownSize = -1,
                                       bool startOver = false) {
        auto downloader = std::make_unique<TMultipartHttpDownloader>();
        downloader->StallTimeout = 3000;
        downloader->RetryDelay = 5;
        FileDownload::Target target{DownloadItem{"42", name, folder(), knownSize, QString()}, "http://site/", url,
                                    QString(), startOver};
        auto d = std::make_unique<FileDownload>(std::move(downloader), target);
        d->OnEnded = [this] { ++ended; };
        d->OnStartedOver = [this](const QString& why) { startedOver << why; };
        return d;
    }
    bool run(FileDownload& d) {
        const int before = ended;
        d.Start();
        return WaitFor([&] { return ended > before; }, 20000);
    }

    QTemporaryDir dir;
    int ended = 0;
    QStringList startedOver;
};

TEST_F(FileDownloadTest, ACompleteFileGetsItsNameOnlyAtTheEndAndNeverReplacesOne) {
    RangeServer server(Document(300 * 1024 + 7));
    bool partWhileRunning = false;
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin > 0)
            partWhileRunning = files() == QStringList({u("报告 一.pdf.part"), u("报告 一.pdf.part.state")});
        return std::nullopt;
    };
    auto d = make(server.url(), u("报告 一.pdf"));
    ASSERT_TRUE(run(*d));
    EXPECT_EQ(d->LastOutcome(), FileDownload::Outcome::Complete);
    EXPECT_TRUE(partWhileRunning);
    EXPECT_EQ(d->LocalPath(), folder() + u("报告 一.pdf"));
    EXPECT_EQ(files(), QStringList({u("报告 一.pdf")}));
    EXPECT_EQ(ReadFileBytes(d->LocalPath()), server.document());
    EXPECT_EQ(d->Done(), server.document().size());

    // The name taken meanwhile (the user saved another file under it): the
    // finished file gets "_" and two characters, the other one stays.
    RangeServer second(Document(1000, 5));
    second.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin > 0 && !QFile::exists(folder() + u("报告 一.pdf.part.state")))
            ADD_FAILURE() << "no state file while the ranges run";
        if (r.begin > 0)
            WriteFileBytes(folder() + u("报告 一.pdf"), "mine");
        return std::nullopt;
    };
    QFile::remove(folder() + u("报告 一.pdf"));
    auto again = make(second.url(), u("报告 一.pdf"));
    ASSERT_TRUE(run(*again));
    EXPECT_EQ(ReadFileBytes(folder() + u("报告 一.pdf")), "mine");
    const QString renamed = QFileInfo(again->LocalPath()).fileName();
    EXPECT_TRUE(renamed.startsWith(u("报告 一_")) && renamed.endsWith(u(".pdf")) && renamed.size() == 11)
        << renamed.toStdString();
    EXPECT_EQ(ReadFileBytes(again->LocalPath()), second.document());
    EXPECT_EQ(files().size(), 2);  // no part or state file left
}

TEST_F(FileDownloadTest, AStoppedFileContinuesFromItsCompleteSpansAndAsksOnlyForTheRest) {
    // The ranges deliver 200 KB each, then hang: the stop comes while both run.
    const QByteArray document = Document(1 << 20);
    RangeServer server(document);
    bool hang = true;
    server.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin < 0 || !hang)
            return std::nullopt;
        HttpReply stuck{server.normalReply(r), Then::Trickle};
        stuck.trickleAfter = int(server.normalReply(r, 0).size()) + 200000;
        stuck.trickleMs = 600000;
        return stuck;
    };
    auto first = make(server.url(), QStringLiteral("big.bin"));
    first->SaveEveryBytes = 64 * 1024;
    first->Start();
    ASSERT_TRUE(WaitFor([&] { return first->Done() == 400000; }));
    first->Pause();
    EXPECT_EQ(first->LastOutcome(), FileDownload::Outcome::Paused);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(files(), QStringList({QStringLiteral("big.bin.part"), QStringLiteral("big.bin.part.state")}));
    const std::optional<DownloadState> saved = ReadDownloadState(folder() + QStringLiteral("big.bin.part.state"));
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->Length, 1 << 20);
    EXPECT_EQ(saved->Complete, QList<ByteSpan>({{0, 200000}, {524289, 724289}}));
    first.reset();

    // A new session (as after a restart of the program) finds the part file
    // by the file's site and id and asks only for what is missing.
    hang = false;
    const int before = int(server.requests().size());
    auto second = make(server.url(), QStringLiteral("big.bin"));
    ASSERT_TRUE(run(*second));
    EXPECT_EQ(second->LastOutcome(), FileDownload::Outcome::Complete);
    EXPECT_TRUE(ReadFileBytes(second->LocalPath()) == document);
    QList<qint64> asked;
    for (const RangeRequest& r : server.requests().mid(before))
        asked << r.begin;
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, QList<qint64>({-1, 200000, 724289}));
    EXPECT_EQ(second->Received(), (1 << 20) - 400000);
    EXPECT_TRUE(startedOver.isEmpty());
    EXPECT_EQ(files(), QStringList({QStringLiteral("big.bin")}));

    // --restart: what an earlier run left is dropped.
    WriteFileBytes(folder() + QStringLiteral("x.bin.part"), "junk");
    WriteDownloadState(folder() + QStringLiteral("x.bin.part.state"),
                       DownloadState{"http://site/", "42", 1 << 20, {}, {}, {{0, 4}}});
    auto over = make(server.url(), QStringLiteral("x.bin"), -1, true);
    ASSERT_TRUE(run(*over));
    EXPECT_EQ(over->Received(), 1 << 20);
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("x.bin")) == document);
}

TEST_F(FileDownloadTest, AChangedFileOrAServerWithoutRangesStartsOverAndSaysSo) {
    const QByteArray document = Document(100000);
    for (const bool noRanges : {false, true}) {
        SCOPED_TRACE(noRanges);
        RangeServer server(document);
        if (noRanges)
            server.script = [&](const RangeRequest&) -> std::optional<HttpReply> {
                return HttpReply{server.normalReply(RangeRequest{})};
            };
        const QString name = noRanges ? QStringLiteral("n.bin") : QStringLiteral("c.bin");
        WriteFileBytes(folder() + name + ".part", QByteArray(50000, 'x'));
        // The state of a version of 90000 bytes; or of this one, whose
        // server now sends only the whole file.
        WriteDownloadState(folder() + name + ".part.state",
                           DownloadState{"http://site/", "42", noRanges ? 100000 : 90000, {}, {}, {{0, 50000}}});
        startedOver.clear();
        auto d = make(server.url(), name);
        ASSERT_TRUE(run(*d));
        EXPECT_EQ(d->LastOutcome(), FileDownload::Outcome::Complete);
        EXPECT_TRUE(ReadFileBytes(folder() + name) == document);
        EXPECT_EQ(startedOver, QStringList({noRanges ? u("服务器不支持断点续传，从头下载") : u("文件已更改，从头下载")}));
    }
}

TEST_F(FileDownloadTest, ARefusedFileLeavesNothingAndAnEmptyListedFileArrivesEmpty) {
    RangeServer empty(QByteArray{});  // the site's reply to a refused download
    auto refused = make(empty.url(), QStringLiteral("gone.txt"));
    ASSERT_TRUE(run(*refused));
    EXPECT_EQ(refused->LastOutcome(), FileDownload::Outcome::Missing);
    EXPECT_TRUE(files().isEmpty());

    auto listedEmpty = make(empty.url(), QStringLiteral("empty.txt"), 0);
    ASSERT_TRUE(run(*listedEmpty));
    EXPECT_EQ(listedEmpty->LastOutcome(), FileDownload::Outcome::Complete);
    EXPECT_EQ(files(), QStringList({QStringLiteral("empty.txt")}));
    EXPECT_EQ(QFileInfo(folder() + QStringLiteral("empty.txt")).size(), 0);

    auto unreachable = make("http://127.0.0.1:" + QByteArray::number(UnusedPort()) + "/f", QStringLiteral("u.txt"));
    ASSERT_TRUE(run(*unreachable));
    EXPECT_EQ(unreachable->LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_EQ(unreachable->Reason(), u("连接失败"));
}

// Files of this process may not grow beyond `bytes` while it lives: a
// full disk as the writes meet it.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    rlimit saved{};
};

TEST_F(FileDownloadTest, AFullDiskOrAVanishedFolderFailsWithTheReasonAndKeepsThePartialFile) {
    RangeServer server(Document(600000));
    {
        const FileSizeLimit limit(100000);
        auto full = make(server.url(), QStringLiteral("full.bin"));
        ASSERT_TRUE(run(*full));
        EXPECT_EQ(full->LastOutcome(), FileDownload::Outcome::Failed);
        EXPECT_EQ(full->Reason(), u("磁盘空间不足"));
    }
    EXPECT_EQ(files(), QStringList({QStringLiteral("full.bin.part"), QStringLiteral("full.bin.part.state")}));
    const std::optional<DownloadState> kept = ReadDownloadState(folder() + QStringLiteral("full.bin.part.state"));
    ASSERT_TRUE(kept.has_value());
    EXPECT_LE(SpanBytes(kept->Complete), 100000);

    // The save folder goes away while the file arrives (a drive pulled out).
    const QString gone = folder() + QStringLiteral("usb/");
    QDir().mkpath(gone);
    RangeServer slow(Document(300000));
    slow.script = [&](const RangeRequest& r) -> std::optional<HttpReply> {
        if (r.begin > 0)
            QDir(gone).removeRecursively();
        return std::nullopt;
    };
    auto downloader = std::make_unique<TMultipartHttpDownloader>();
    FileDownload vanished(std::move(downloader),
                          {DownloadItem{"7", QStringLiteral("v.bin"), gone, -1, QString()}, "http://site/", slow.url(), QString(), false});
    bool done = false;
    vanished.OnEnded = [&] { done = true; };
    vanished.Start();
    ASSERT_TRUE(WaitFor([&] { return done; }, 20000));
    EXPECT_EQ(vanished.LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_EQ(vanished.Reason(), u("保存目录不存在"));

    // A folder that cannot be made.
    WriteFileBytes(folder() + QStringLiteral("plain"), "a file, not a folder");
    FileDownload blocked(std::make_unique<TMultipartHttpDownloader>(),
                         {DownloadItem{"8", QStringLiteral("b.bin"), folder() + QStringLiteral("plain/sub/"), -1,
                                       QString()},
                          "http://site/", slow.url(), QString(), false});
    bool blockedDone = false;
    blocked.OnEnded = [&] { blockedDone = true; };
    blocked.Start();
    EXPECT_FALSE(blockedDone);  // reported from the event loop
    ASSERT_TRUE(WaitFor([&] { return blockedDone; }));
    EXPECT_EQ(blocked.LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_EQ(blocked.Reason(), u("保存目录不存在"));
}

TEST_F(FileDownloadTest, AgainstNginxAContinuedFileKeepsItsValidatorsAndAChangedOneStartsOver) {
    QTemporaryDir root;
    const QByteArray document = Document(3 << 20, 77);
    WriteFileBytes(root.filePath(QStringLiteral("f.bin")), document);
    NginxServer nginx;
    // The same file slowly under /slow/, so that the first run stops halfway.
    ASSERT_TRUE(nginx.start(root.path(), false,
                            "location /slow/ { alias " + QFile::encodeName(root.path()) +
                                "/; limit_rate_after 100k; limit_rate 20k; }\n"))
        << nginx.error().toStdString();
    auto first = make(nginx.baseUrl() + "/slow/f.bin", QStringLiteral("f.bin"));
    first->SaveEveryBytes = 256 * 1024;
    first->Start();
    ASSERT_TRUE(WaitFor([&] { return first->Done() >= 200 * 1024; }, 20000));
    first->Pause();
    const std::optional<DownloadState> saved = ReadDownloadState(folder() + QStringLiteral("f.bin.part.state"));
    ASSERT_TRUE(saved.has_value());
    EXPECT_FALSE(saved->ETag.isEmpty());
    EXPECT_FALSE(saved->LastModified.isEmpty());
    first.reset();

    auto same = make(nginx.baseUrl() + "/f.bin", QStringLiteral("f.bin"));
    ASSERT_TRUE(run(*same));
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("f.bin")) == document);
    EXPECT_TRUE(startedOver.isEmpty());
    EXPECT_EQ(same->Received(), document.size() - SpanBytes(saved->Complete));

    // The same length, another version (a new ETag): started over.
    QFile::rename(folder() + QStringLiteral("f.bin"), folder() + QStringLiteral("g.bin.part"));
    DownloadState older = *saved;
    older.ETag = "\"0-0\"";
    WriteDownloadState(folder() + QStringLiteral("g.bin.part.state"), older);
    auto changed = make(nginx.baseUrl() + "/f.bin", QStringLiteral("g.bin"));
    ASSERT_TRUE(run(*changed));
    EXPECT_EQ(startedOver, QStringList({u("文件已更改，从头下载")}));
    EXPECT_EQ(changed->Received(), document.size());
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("g.bin")) == document);
}

}  // namespace

namespace {

// A proxy that is down says nothing about the file: the reason names the
// proxy instead of a failed connection to the site.
TEST_F(FileDownloadTest, AProxyThatIsDownIsNamedInTheReason) {
    NetConnectorSettings settings;
    settings.proxyMode = NetConnectorSettings::ProxyMode::Fixed;
    const quint16 down = UnusedPort();
    settings.proxy = NetProxy{NetProxyType::Http, "127.0.0.1", down, {}, {}};
    NetConnector connector(settings);
    auto d = make("http://files.example/a.bin", QStringLiteral("a.bin"));
    d->Downloader().Connector = &connector;
    ASSERT_TRUE(run(*d));
    EXPECT_EQ(d->LastOutcome(), FileDownload::Outcome::Failed);
    EXPECT_EQ(d->Reason(), u("代理服务器 127.0.0.1:%1 无法连接：Connection refused (Error #10061)").arg(down));
}

}  // namespace

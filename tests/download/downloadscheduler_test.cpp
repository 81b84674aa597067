// The download queue: at most N files at once and none stopping another,
// whole folder trees from the demo site (one listing request per folder),
// pause, continue and remove, a full disk failing one file while the others
// go on, and the unfinished rows coming back at the next login.

#include "disk/remotelisting.h"
#include "download/downloadscheduler.h"
#include "download/downloadtarget.h"
#include "login/sitelogin.h"
#include "text/gbk.h"
#include "support/demosite.h"
#include "support/rangeserver.h"
#include "support/testutil.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using Then = HttpReply::Then;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

QByteArray Document(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed;
    for (qsizetype i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = char(x >> 24);
    }
    return bytes;
}

// Every call the queue makes to its presenter.
struct RecordingPresenter : DownloadPresenter {
    DownloadScheduler* queue = nullptr;
    QStringList ended;    // "name: status"
    QStringList started;  // names
    QStringList folderFailures;
    int mostRunning = 0;
    int progressCalls = 0;
    void FileStarted(int row) override {
        started << queue->Queue.Row(row).Item.Name;
        mostRunning = std::max(mostRunning, queue->RunningCount());
    }
    void FileEnded(int row) override {
        const DownloadRow& r = queue->Queue.Row(row);
        ended << r.Item.Name + QStringLiteral(": ") + RowStatusText(r);
    }
    void FolderFailed(const QString& folder, const QString& why) override { folderFailures << folder + ": " + why; }
    void QueueProgress() override { ++progressCalls; }
};

// A site whose download script serves a document per file id, in ranges.
struct DocumentSite {
    RangeServer server{QByteArray()};
    QMap<QByteArray, QByteArray> documents;
    QSet<QByteArray> stuck;  // ids whose ranges stop after 20000 bytes
    SiteSession session;

    DocumentSite() {
        session.SiteUrl = server.url("/");
        session.AccountName = "alice";
        session.AccountToken = "TOKEN";
        server.script = [this](const RangeRequest& r) -> std::optional<HttpReply> {
            const qsizetype at = r.path.indexOf("file_id=");
            const QByteArray id = r.path.mid(at + 8).split('&').value(0);
            const QByteArray doc = documents.value(id);
            QByteArray head;
            QByteArray body;
            if (r.begin < 0) {
                head = "HTTP/1.0 200 OK\r\n";
                body = doc;
            } else {
                const qint64 last = std::min<qint64>(r.end, doc.size() - 1);
                head = "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(r.begin) + "-" +
                       QByteArray::number(last) + "/" + QByteArray::number(doc.size()) + "\r\n";
                body = doc.mid(r.begin, last - r.begin + 1);
            }
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
            HttpReply reply{head + body, Then::Close};
            if (r.begin >= 0 && stuck.contains(id)) {
                reply.then = Then::Trickle;
                reply.trickleAfter = int(head.size()) + 20000;
                reply.trickleMs = 600000;
            }
            return reply;
        };
    }
};

class DownloadSchedulerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    std::unique_ptr<DownloadScheduler> make(const SiteSession& session, const QString& queueFile = QString()) {
        auto queue = std::make_unique<DownloadScheduler>(session, presenter, queueFile);
        presenter.queue = queue.get();
        queue->UpdateIntervalMs = 20;
        queue->ConfigureDownloader = [](TMultipartHttpDownloader& d) {
            d.StallTimeout = 5000;
            d.RetryDelay = 5;
        };
        return queue;
    }
    DownloadItem item(const QByteArray& id, const QString& name) const { return {id, name, folder(), -1, QString()}; }
    int row(const DownloadScheduler& queue, const QString& name) const {
        for (int r = 0; r < queue.Queue.Count(); ++r)
            if (queue.Queue.Row(r).Item.Name == name)
                return r;
        return -1;
    }

    QTemporaryDir dir;
    RecordingPresenter presenter;
};

TEST_F(DownloadSchedulerTest, AtMostNFilesRunAtOnceAndAddingMoreNeverStopsOne) {
    DocumentSite site;
    QList<DownloadItem> items;
    for (int i = 1; i <= 7; ++i) {
        site.documents[QByteArray::number(i)] = Document(40000 * i, i);
        items << item(QByteArray::number(i), QStringLiteral("f%1.bin").arg(i));
    }
    auto queue = make(site.session);
    queue->SetOptions(3, 2);
    queue->Add(items.mid(0, 4));
    EXPECT_EQ(queue->RunningCount(), 3);
    EXPECT_EQ(queue->Queue.Row(3).State, RowState::Waiting);
    // More while they run: appended behind, nothing stops.
    queue->Add(items.mid(4));
    queue->Add(items.mid(0, 1));  // queued already: not again
    EXPECT_EQ(queue->Queue.Count(), 7);
    ASSERT_TRUE(WaitFor([&] { return queue->AtRest(); }, 30000));
    EXPECT_EQ(presenter.mostRunning, 3);
    EXPECT_EQ(presenter.ended.size(), 7);
    for (int i = 1; i <= 7; ++i) {
        EXPECT_TRUE(presenter.ended.contains(QStringLiteral("f%1.bin: ").arg(i) + DownloadStatus::Complete()));
        EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("f%1.bin").arg(i)) == site.documents[QByteArray::number(i)]);
    }
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), 7);
    // Each file: the probe and two ranges.
    EXPECT_EQ(site.server.requests().size(), 7 * 3);
    EXPECT_EQ(queue->Queue.Row(6).LocalPath, folder() + QStringLiteral("f7.bin"));
    EXPECT_EQ(RowProgressText(queue->Queue.Row(6)), QStringLiteral("100%"));
    queue->ClearFinished();
    EXPECT_EQ(queue->Queue.Count(), 0);
}

TEST_F(DownloadSchedulerTest, PauseContinueAndRemoveActOnTheirRowsOnly) {
    DocumentSite site;
    site.documents["1"] = Document(300000, 1);
    site.documents["2"] = Document(300000, 2);
    site.documents["3"] = Document(1000, 3);
    site.stuck = {"1", "2"};
    auto queue = make(site.session);
    queue->SetOptions(2, 2);
    queue->Add({item("1", QStringLiteral("a.bin")), item("2", QStringLiteral("b.bin")), item("3", QStringLiteral("c.bin"))});
    ASSERT_TRUE(WaitFor([&] { return queue->SessionOf(0) && queue->SessionOf(0)->Done() == 40000 &&
                                     queue->SessionOf(1) && queue->SessionOf(1)->Done() == 40000; }));
    // Pausing one lets the waiting row take its place.
    queue->Pause({0});
    EXPECT_EQ(queue->Queue.Row(0).State, RowState::Paused);
    EXPECT_EQ(queue->Queue.Row(0).Done, 40000);
    EXPECT_EQ(queue->Queue.Row(0).LocalPath, folder() + QStringLiteral("a.bin.part"));
    ASSERT_TRUE(WaitFor([&] { return queue->Queue.Row(2).State == RowState::Complete; }));
    EXPECT_EQ(queue->Queue.Row(1).State, RowState::Running);

    // Removed with its partial file; the paused one keeps its files.
    queue->Remove({1}, true);
    EXPECT_EQ(queue->Queue.Count(), 2);
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("b.bin.part")));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("b.bin.part.state")));
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("a.bin.part.state")));

    // Continued: only the missing bytes are asked for.
    site.stuck.clear();
    const qsizetype before = site.server.requests().size();
    queue->Continue({0});
    ASSERT_TRUE(WaitFor([&] { return queue->AtRest(); }, 20000));
    EXPECT_EQ(queue->Queue.Row(0).State, RowState::Complete);
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("a.bin")) == site.documents["1"]);
    QList<qint64> asked;
    for (const RangeRequest& r : site.server.requests().mid(before))
        asked << r.begin;
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, QList<qint64>({-1, 20000, 150001 + 20000}));
    // Removing a complete row never deletes its file.
    queue->Remove({0}, true);
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("a.bin")));
}

// Files of this process may not grow beyond `bytes` while it lives.
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

TEST_F(DownloadSchedulerTest, AFullDiskFailsOneFileWithTheReasonAndTheOthersGoOn) {
    DocumentSite site;
    site.documents["1"] = Document(50000, 1);
    site.documents["2"] = Document(400000, 2);
    site.documents["3"] = Document(60000, 3);
    auto queue = make(site.session);
    queue->SetOptions(1, 2);
    {
        const FileSizeLimit limit(200000);
        queue->Add({item("1", QStringLiteral("a.bin")), item("2", QStringLiteral("big.bin")), item("3", QStringLiteral("c.bin"))});
        ASSERT_TRUE(WaitFor([&] { return queue->AtRest(); }, 20000));
    }
    EXPECT_EQ(presenter.ended, QStringList({u("a.bin: 下载完成"), u("big.bin: 下载失败：磁盘空间不足"), u("c.bin: 下载完成")}));
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("big.bin.part")));
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("big.bin.part.state")));
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("c.bin")) == site.documents["3"]);
}

TEST_F(DownloadSchedulerTest, UnfinishedRowsComeBackPausedAtTheNextLoginOfTheSameAccountAndSite) {
    DocumentSite site;
    site.documents["1"] = Document(300000, 1);
    site.documents["2"] = Document(5000, 2);
    site.documents["3"] = Document(7000, 3);
    site.stuck = {"1"};
    const QString queueFile = folder() + QStringLiteral("data/downloads.queue");
    {
        auto queue = make(site.session, queueFile);
        queue->TakeSession(false);
        queue->SetOptions(1, 2);
        queue->Add({item("1", QStringLiteral("a.bin")), item("2", QStringLiteral("b.bin"))});
        ASSERT_TRUE(WaitFor([&] { return queue->SessionOf(0) && queue->SessionOf(0)->Done() == 40000; }));
        queue->PauseAll();  // the program ends
        EXPECT_EQ(queue->Queue.Row(1).State, RowState::Paused);
    }
    // Another account of the same site logs in meanwhile and queues a file.
    SiteSession bob = site.session;
    bob.AccountName = "bob";
    {
        auto other = make(bob, queueFile);
        other->TakeSession(false);
        EXPECT_EQ(other->Queue.Count(), 0);
        other->SetOptions(1, 2);
        other->Add({item("3", QStringLiteral("c.bin"))});
        other->Pause({0});
        other->SaveQueue();
    }
    site.stuck.clear();
    auto queue = make(site.session, queueFile);
    queue->TakeSession(false);
    ASSERT_EQ(queue->Queue.Count(), 2);
    EXPECT_EQ(queue->Queue.Row(0).State, RowState::Paused);
    EXPECT_EQ(queue->Queue.Row(0).Done, 40000);
    EXPECT_EQ(queue->Queue.Row(0).Length, 300000);
    EXPECT_EQ(RowStatusText(queue->Queue.Row(0)), DownloadStatus::Paused());
    EXPECT_EQ(queue->RunningCount(), 0);
    queue->Continue({0, 1});
    ASSERT_TRUE(WaitFor([&] { return queue->AtRest(); }, 20000));
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("a.bin")) == site.documents["1"]);
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("b.bin")) == site.documents["2"]);
    queue->SaveQueue();
    // Bob's row is still kept for him; the complete ones are gone.
    QFile file(queueFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QueuedFile> kept = DecodeQueueFile(file.readAll());
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].Account, "bob");
    EXPECT_EQ(kept[0].Item.Name, QStringLiteral("c.bin"));

    // A file listed with startNow starts by itself at the login.
    auto bobAgain = make(bob, queueFile);
    bobAgain->TakeSession(true);
    ASSERT_TRUE(WaitFor([&] { return bobAgain->AtRest(); }, 20000));
    EXPECT_TRUE(ReadFileBytes(folder() + QStringLiteral("c.bin")) == site.documents["3"]);
}

TEST(DownloadQueueFile, RowsReadBackAndBrokenLinesAreLeftOut) {
    const QList<QueuedFile> files = {
        {"http://pan.example/", "张三", {"42", QStringLiteral("报告 一.pdf"), QStringLiteral("/tmp/d l/"), 1024, u("1.00KB")},
         QStringLiteral("/tmp/d l/报告 一.pdf.part"), true},
        {"http://pan.example/", "bob", {"7", QStringLiteral("a|b"), QStringLiteral("/x/"), -1, QString()}, QString(), false}};
    const QByteArray text = EncodeQueueFile(files);
    const QList<QueuedFile> back = DecodeQueueFile(text + "garbage line\n1 2 3 4 5 6 x 8 9\n");
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].Item.Name, QStringLiteral("报告 一.pdf"));
    EXPECT_EQ(back[0].Item.Folder, QStringLiteral("/tmp/d l/"));
    EXPECT_EQ(back[0].PartPath, QStringLiteral("/tmp/d l/报告 一.pdf.part"));
    EXPECT_EQ(back[0].Item.KnownSize, 1024);
    EXPECT_TRUE(back[0].Paused);
    EXPECT_FALSE(back[1].Paused);
    EXPECT_EQ(back[1].Account, "bob");
    EXPECT_TRUE(DecodeQueueFile("not a queue\n").isEmpty());
}

TEST(DownloadStateFile, StatesReadBackAndAnyBrokenValueMakesThePartFileUntrusted) {
    const DownloadState state{"http://pan.example/", "42", 1000, "Tue, 01 Oct 2024 10:00:00 GMT", "\"a b\"",
                              {{0, 100}, {200, 1000}}};
    const QByteArray text = EncodeDownloadState(state);
    EXPECT_TRUE(text.contains("complete 0-99,200-999\n")) << text.constData();
    EXPECT_EQ(DecodeDownloadState(text), state);
    for (const QByteArray& broken : QList<QByteArray>{
             "", "quellix-part 2\n", QByteArray(text).replace("length 1000", "length 500"),  // spans beyond the length
             EncodeDownloadState(state).replace("0-99", "99-0"), EncodeDownloadState(state).replace("length 1000", "length -1"),
             EncodeDownloadState(state).replace("id 42\n", "")})
        EXPECT_FALSE(DecodeDownloadState(broken).has_value()) << broken.constData();
}

// The demo site with a tree of 300 files in 20 folders.
class DemoTreeTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        site_ = new DemoSite({QStringLiteral("--tree"), QStringLiteral("300,20"), QStringLiteral("--big-file-mib"),
                              QStringLiteral("1")});
    }
    static void TearDownTestSuite() {
        delete site_;
        site_ = nullptr;
    }
    static DemoSite* site_;
};
DemoSite* DemoTreeTest::site_ = nullptr;

// Every file and folder below `root`, relative to it.
QStringList TreeOf(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << QDir(root).relativeFilePath(it.filePath()) + (it.fileInfo().isDir() ? "/" : "");
    }
    entries.sort();
    return entries;
}

TEST_F(DemoTreeTest, AFolderTreeArrivesWholeWithOneListingRequestPerFolder) {
    ASSERT_TRUE(site_->isRunning()) << site_->errorText().toStdString();
    const DemoAccount account = site_->account(QStringLiteral("demo"));
    SiteLogin login;
    login.Session.SiteUrl = site_->siteUrl();
    ASSERT_EQ(login.Login(ToGbk(account.name), ToGbk(account.password)), SiteLogin::Start::Sent);
    ASSERT_TRUE(login.Session.LoggedIn);
    const QString disk = site_->dataDir() + QStringLiteral("/disk/demo/");
    // The tree's id from the root listing.
    FolderListingRequest root(login.Session);
    QByteArray treeId;
    root.OnListing = [&](const QList<QByteArray>& lines) {
        for (const QByteArray& line : lines)
            if (ParseListingLine(line).Name == ToGbk(u("目录树")))
                treeId = ParseListingLine(line).Id;
    };
    root.RequestFolderListing(0, 0);
    ASSERT_TRUE(WaitFor([&] { return !treeId.isEmpty(); }));
    const int before = int(site_->requests().size());

    QTemporaryDir dir;
    RecordingPresenter presenter;
    DownloadScheduler queue(login.Session, presenter);
    presenter.queue = &queue;
    queue.SetOptions(4, 2);
    QElapsedTimer clock;
    clock.start();
    queue.AddFolders({{treeId, u("目录树")}}, dir.path() + QLatin1Char('/'));
    ASSERT_TRUE(WaitFor([&] { return queue.AtRest(); }, 120000));
    std::printf("[ figures  ] 300 files in 20 folders: %lld ms, %d listing requests, at most %d files at once\n",
                clock.elapsed(), queue.ListingRequests(), presenter.mostRunning);
    EXPECT_TRUE(presenter.folderFailures.isEmpty()) << presenter.folderFailures.join('\n').toStdString();
    EXPECT_EQ(presenter.ended.size(), 300);
    EXPECT_EQ(presenter.mostRunning, 4);
    // The same folders and files, byte for byte (empty files too).
    const QString local = dir.path() + QStringLiteral("/目录树");
    const QStringList tree = TreeOf(disk + u("目录树"));
    ASSERT_EQ(TreeOf(local), tree);
    int files = 0;
    for (const QString& entry : tree) {
        if (entry.endsWith('/'))
            continue;
        ++files;
        ASSERT_TRUE(ReadFileBytes(local + '/' + entry) == ReadFileBytes(disk + u("目录树/") + entry)) << entry.toStdString();
    }
    EXPECT_EQ(files, 300);
    // One "mydisk" request per folder: the tree's 21 folders, each once.
    QMap<QByteArray, int> listings;
    for (const LoggedRequest& r : site_->requests().mid(before))
        if (r.body.startsWith("action=mydisk&"))
            ++listings[r.body.split('&').value(1)];
    EXPECT_EQ(listings.size(), 21);
    for (auto it = listings.cbegin(); it != listings.cend(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().constData();
    EXPECT_EQ(queue.ListingRequests(), 21);
}

}  // namespace

#pragma once
// TMultipartHttpDownloader: fetches one HTTP document into a stream of its
// owner, in PartCount byte ranges at the same time.
//
// Start sends a GET only to learn the document's length (the size probe) and
// abandons it at its headers. The document is then divided into PartCount
// ranges (see downloadranges.h) and every range is fetched by its own part
// client (TMyHttpCli), each block written straight from the received buffer
// at its absolute position in FileStream: nothing is buffered and nothing is
// joined afterwards. A range whose connection breaks, stalls or ends short
// continues where it stopped: the bytes it has stay in the file and only the
// rest is asked for again. A range that keeps failing without getting a byte
// further ends the transfer. A server without ranges, which answers the
// range starting at byte 0 with the whole document, gets one stream: that
// reply is written from offset 0 and the other ranges stop. OnRequestDone
// reports the end once: (200, "OK") for a complete document, any other pair
// for a failure.
// A document whose length is 0 or not announced is a failure (3, "Download
// failed"): nothing is fetched.
//
// RangeCount connections (1 to 8, two unless the owner asks otherwise) fetch
// the ranges at the same time. A range that is done early takes over the
// upper half of the largest range still running (work stealing), so one slow
// connection does not hold up the end; the range it took from stops at that
// half. A continued download (Resume) fetches only the bytes its file does
// not hold yet, after the probe has shown the document unchanged; a changed
// size or validator, or a server that can only send the whole document,
// starts it over, which OnStartOver tells the owner.
//
// Everything runs on the thread's event loop, driven by the part clients'
// events, one posted notice (the start of the ranges) and two timers (the
// statistics and the stall watchdog).
//
// Usage:
//     TMultipartHttpDownloader down;
//     QFile file(path);                       // owned by the caller
//     file.open(QIODevice::WriteOnly | QIODevice::Truncate);
//     down.URL = "http://host/file";
//     down.PartCount = 2;
//     down.FileStream = &file;
//     down.OnRequestDone = [&](TMultipartHttpDownloader& d, int errorCode, const QByteArray& reason) {
//         if (d.FileStream) { d.FileStream->close(); d.FileStream = nullptr; }  // a failure leaves it open
//         bool complete = errorCode == 200 && reason == "OK";
//     };
//     down.Start();

#include "net/myhttpcli.h"
#include "net/netconnector.h"

#include "net/downloadranges.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QIODevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

// HTTP authentication methods a part client could be set to. The program's
// clients authenticate with none; the property is carried for the owner.
enum THttpAuthType { httpAuthNone, httpAuthBasic, httpAuthNtlm, httpAuthDigest };

// The downloader's own failure codes in OnRequestDone (besides the socket
// numbers, HTTP status codes and HttpError codes of the part clients).
namespace DownloadError {
// FileStream is missing or a write, seek or the final flush failed (disk full).
constexpr int WriteFailed = HttpError::WriteFailed;
// The server's replies could not be used: a range kept coming back as
// something else than the bytes asked for (a server ignoring Range, a wrong
// Content-Range), or a probe ended without a status or a length.
constexpr int BadReply = HttpError::BadResponse;
}  // namespace DownloadError

// What the owner knows of a document it fetched in part before: its
// length and validators as the probe of that transfer saw them, and the
// spans of it already in FileStream.
struct TDownloadResume {
    qint64 Length = 0;
    QByteArray LastModified;
    QByteArray ETag;
    QList<ByteSpan> Complete;

    bool IsEmpty() const { return Complete.isEmpty(); }
};

// Why a continued download starts over from byte 0.
enum class TStartOverReason {
    SizeChanged,     // the probe found another length
    VersionChanged,  // the probe found another Last-Modified or ETag
    NoRanges,        // the server sends only the whole document
};

class TMultipartHttpDownloader : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,           // created, or the last transfer failed
        Probing,        // the size probe is running
        RangesRunning,  // the ranges are being fetched
        Done,           // every range arrived; FileStream is closed
    };

    explicit TMultipartHttpDownloader(QObject* parent = nullptr);
    ~TMultipartHttpDownloader() override;

    // --- Properties ---------------------------------------------------------
    QByteArray URL;  // address of the document
    // Connection settings of the owner's form. They do not change the
    // requests: the proxy comes from Connector, and no request of the
    // program uses server authentication.
    QByteArray Username;
    QByteArray Password;
    QByteArray Proxy;
    QByteArray ProxyPort;
    QByteArray SocksServer;
    QByteArray SocksPort;
    QByteArray SocksLevel;
    // Number of ranges of the first division, for owners that set it
    // (Start refuses 1 and less then); 0 leaves it to RangeCount.
    int PartCount = 0;
    // Connections that fetch ranges at the same time, 1 to 8 (Start refuses
    // others). Two unless the owner asks otherwise: a site may count on it.
    int RangeCount = 2;
    // A continued download: set before Start (empty: a fresh one).
    TDownloadResume Resume;
    // Destination, opened by the owner before Start and written at absolute
    // positions. When every range arrived the downloader closes it and sets
    // the property to nullptr before OnRequestDone; on any other ending the
    // owner closes it.
    QIODevice* FileStream = nullptr;
    THttpAuthType ServerAuth = httpAuthNone;
    // The User-Agent of the part clients: the HTTP client's default unless
    // the owner names itself.
    QByteArray Agent = "Mozilla/4.0 (compatible; QHC)";
    // How the part clients connect (proxy, rate limits); null: directly and
    // unlimited. Every range shares the connector's download limit.
    QPointer<NetConnector> Connector;
    // Certificates the part clients trust for "https" besides the system's
    // (a private site's own authority, tests).
    QList<QSslCertificate> ExtraCaCertificates;

    // Time limits and bounds (properties, so tests can shorten them).
    int StatsInterval = 1000;  // ms between statistics ticks while the ranges run
    // A request that shows no sign of life for this long (ms) is abandoned:
    // the probe then fails, a range is restarted. 0: wait for ever.
    int StallTimeout = 30000;
    // A range that fails this many times in a row without getting further
    // than before ends the whole transfer.
    int MaxRangeFailures = 5;
    // A range that failed without getting a byte further is asked for again
    // after RetryDelay × (failures in a row) ms, so a failing server is not
    // hammered; a range that made progress continues at once.
    int RetryDelay = 500;
    // A range that is done takes over half of the range still running that
    // has the most bytes left, when that one has at least StealMinimum bytes
    // left and would need more than StealAfterMs to fetch them at its own
    // pace: taking over costs the bytes already on their way to the range
    // that gives them up, which pays only when it is slow. 0: never.
    qint64 StealMinimum = 1 << 20;
    int StealAfterMs = 1000;

    // --- Events -------------------------------------------------------------
    std::function<void(TMultipartHttpDownloader& sender, const QByteArray& msg)> OnDisplay;
    std::function<void(TMultipartHttpDownloader& sender, int errorCode, const QByteArray& reason)> OnRequestDone;
    std::function<void(TMultipartHttpDownloader& sender, qint64 startOffset, qint64 aSpan, qint64 initPos)>
        OnProgressAddSegment;
    std::function<void(TMultipartHttpDownloader& sender, int index, qint64 position)> OnProgressSetPosition;
    std::function<void(TMultipartHttpDownloader& sender)> OnShowStats;
    // A continued download starts over from byte 0: what the file held is
    // no longer counted as complete (the bytes are written over).
    std::function<void(TMultipartHttpDownloader& sender, TStartOverReason reason)> OnStartOver;

    // --- Operation ----------------------------------------------------------
    // Begins a transfer with the current properties. Raises ERangeError
    // "PartCount must be positive" when PartCount is below 2 (nothing else
    // happens then). Accepted in every state: a running transfer is dropped
    // without any event and replaced.
    void Start();
    // Drops the transfer in progress without any event (its connections
    // close, nothing more is written) and leaves the downloader idle. The
    // owner keeps FileStream open and closes it.
    void Stop();

    // --- Statistics ---------------------------------------------------------
    qint64 ContentLength() const { return contentLength_; }  // learnt by the probe; 0 until then
    qint64 TotalCount() const { return totalCount_; }        // bytes written since Start, restarts included
    qint64 PrevCount() const { return prevCount_; }          // TotalCount at the previous tick
    quint32 PrevTick() const { return prevTick_; }           // millisecond tick of the previous tick
    const QDateTime& StartTime() const { return startTime_; }
    double ElapsedTime() const { return elapsedTime_; }      // days since Start, at the last tick
    double CurSpeed() const { return curSpeed_; }            // kilobits per second
    double PercentDone() const { return percentDone_; }      // TotalCount × 100 / ContentLength

    // Validators the probe found ("" when the server sent none).
    const QByteArray& DocumentLastModified() const { return lastModified_; }
    const QByteArray& DocumentETag() const { return eTag_; }
    // The spans of the document now in FileStream: those of Resume that the
    // probe confirmed, the finished ranges and what the running ones wrote.
    QList<ByteSpan> CompleteSpans() const;
    qint64 CompleteBytes() const { return SpanBytes(CompleteSpans()); }
    // The continued download started over (OnStartOver was raised).
    bool StartedOver() const { return startedOver_; }

    State state() const { return state_; }
    // The last transfer failed at the proxy: its reason names the proxy.
    bool ProxyFailed() const { return proxyFailed_; }
    // The part clients of the current transfer: the probe, then the ranges.
    const QList<TMyHttpCli*>& Parts() const { return parts_; }

private:
    // the transfer (multipartdownloader.cpp)
    void setState(State state);
    TMyHttpCli* newPartClient(int index);
    void copyConnectionProperties(TMyHttpCli& part) const;
    void retireParts();
    void retirePart(TMyHttpCli& part);
    void probeHeaderEnd(TMyHttpCli& probe);
    void probeFinished(TMyHttpCli& probe, quint16 errCode);
    void startParts();
    void finishTransfer();
    void failTransfer(int errorCode, const QByteArray& reason);
    template <class Handler>
    bool raise(Handler&& handler);
    bool display(const QByteArray& msg);

    // the ranges (multipartdownloader_parts.cpp)
    void partHeaderEnd(TMyHttpCli& part);
    void partData(TMyHttpCli& part, const char* buffer, int len);
    void partLocationChange(TMyHttpCli& part);
    void partFinished(TMyHttpCli& part, quint16 errCode);
    void rangeFailed(TMyHttpCli& part, int errorCode, const QByteArray& detail);
    bool takeMoreWork(TMyHttpCli& part);
    void assignRange(TMyHttpCli& part, const DownloadRange& range);
    bool startOver(TStartOverReason reason);
    void keepWrittenSpans();
    void restartPart(TMyHttpCli& part);
    bool becomeOneStream(TMyHttpCli& part);
    void sendRange(TMyHttpCli& part);
    void checkAllDone();

    // statistics, destination and watchdog (multipartdownloader_stats.cpp)
    bool statsTick(bool allDone);
    bool allPartsDone() const;
    bool closeDestination(QByteArray& error);
    void checkStalls();

    State state_ = State::Idle;
    QList<TMyHttpCli*> parts_;
    bool proxyFailed_ = false;
    // Changes with every Start and every ending: events, notices and
    // handlers of an earlier transfer see a different number and stop.
    quint64 generation_ = 0;
    QTimer statsTimer_;
    QTimer watchdog_;
    QElapsedTimer clock_;  // since Start, for ElapsedTime
    bool oneStream_ = false;      // the server ignores ranges: range 0 carries the whole document
    int rangeCount_ = 2;          // connections of this transfer
    QList<ByteSpan> done_;        // complete spans besides the running ranges
    QList<DownloadRange> waiting_;  // ranges no connection has taken yet
    QByteArray lastModified_;
    QByteArray eTag_;
    bool startedOver_ = false;
    bool resumePending_ = false;  // Resume is not judged yet: the probe runs

    qint64 contentLength_ = 0;
    qint64 totalCount_ = 0;
    qint64 prevCount_ = 0;
    quint32 prevTick_ = 0;
    QDateTime startTime_;
    double elapsedTime_ = 0.0;
    double curSpeed_ = 0.0;
    double percentDone_ = 0.0;
};

// Runs an owner's event handler through the standard error report. False
// when the handler destroyed the downloader or replaced the transfer with
// Start: the caller must then return at once without touching the transfer.
template <class Handler>
bool TMultipartHttpDownloader::raise(Handler&& handler) {
    QPointer<TMultipartHttpDownloader> self(this);
    const quint64 generation = generation_;
    RunGuarded(std::forward<Handler>(handler));
    return !self.isNull() && generation_ == generation;
}

// TMultipartHttpDownloader: Start, the size probe, starting the ranges and
// the two endings of a transfer.

#include "net/multipartdownloader.h"

#include "net/downloadranges.h"
#include "net/downloadstats.h"
#include "text/errors.h"

#include <algorithm>
#include <utility>

TMultipartHttpDownloader::TMultipartHttpDownloader(QObject* parent) : QObject(parent) {
    connect(&statsTimer_, &QTimer::timeout, this, [this] { RunGuarded([&] { statsTick(allPartsDone()); }); });
    connect(&watchdog_, &QTimer::timeout, this, [this] { RunGuarded([&] { checkStalls(); }); });
}

TMultipartHttpDownloader::~TMultipartHttpDownloader() { retireParts(); }

void TMultipartHttpDownloader::setState(State state) { state_ = state; }

TMyHttpCli* TMultipartHttpDownloader::newPartClient(int index) {
    // Created in code, so with the HTTP client's defaults: HTTP/1.0,
    // relocations followed (at most 5), the default Accept line.
    auto* part = new TMyHttpCli("Part" + QByteArray::number(index));
    part->PartIndex = index;
    copyConnectionProperties(*part);
    return part;
}

void TMultipartHttpDownloader::copyConnectionProperties(TMyHttpCli& part) const {
    // The user, password, proxy, SOCKS and authentication properties of the
    // form have no counterpart in the HTTP client: its connector says how it
    // connects.
    part.URL = URL;
    part.Agent = Agent;
    part.Connector = Connector;
    part.ExtraCaCertificates = ExtraCaCertificates;
}

void TMultipartHttpDownloader::retireParts() {
    const QList<TMyHttpCli*> parts = std::exchange(parts_, {});
    for (TMyHttpCli* part : parts)
        retirePart(*part);
}

void TMultipartHttpDownloader::retirePart(TMyHttpCli& part) {
    part.Retired = true;  // whatever it still reports is ignored
    // A busy client drops its connection now, so it sends and writes
    // nothing more. Deleting waits for the event loop: the client may be
    // the one whose event is running right now.
    if (part.State() != httpReady)
        part.Abort();
    part.deleteLater();
}

bool TMultipartHttpDownloader::display(const QByteArray& msg) {
    return raise([&] {
        if (OnDisplay)
            OnDisplay(*this, msg);
    });
}

void TMultipartHttpDownloader::Start() {
    if (PartCount != 0 && PartCount < 2)
        throw ERangeError("PartCount must be positive");
    if (PartCount == 0 && (RangeCount < 1 || RangeCount > 8))
        throw ERangeError("RangeCount must be between 1 and 8");

    // A transfer in progress goes without any event.
    ++generation_;
    statsTimer_.stop();
    watchdog_.stop();
    retireParts();
    rangeCount_ = PartCount != 0 ? PartCount : RangeCount;
    done_.clear();
    waiting_.clear();
    lastModified_.clear();
    eTag_.clear();
    startedOver_ = false;
    resumePending_ = !Resume.IsEmpty();

    contentLength_ = 0;
    proxyFailed_ = false;
    totalCount_ = 0;
    prevCount_ = 0;
    prevTick_ = MillisecondTick();
    startTime_ = QDateTime::currentDateTime();
    clock_.start();
    elapsedTime_ = 0.0;
    curSpeed_ = 0.0;
    percentDone_ = 0.0;
    oneStream_ = false;
    setState(State::Probing);
    if (!raise([&] {
            if (OnShowStats)
                OnShowStats(*this);
        }))
        return;

    TMyHttpCli* probe = newPartClient(0);
    probe->OnHeaderEnd = [this](THttpCli& sender) {
        auto& part = static_cast<TMyHttpCli&>(sender);
        if (!part.Retired)
            probeHeaderEnd(part);
    };
    probe->OnRequestDone = [this](THttpCli& sender, THttpRequest, quint16 errCode) {
        auto& part = static_cast<TMyHttpCli&>(sender);
        if (!part.Retired)
            probeFinished(part, errCode);
    };
    parts_.append(probe);
    probe->LastActivity = MillisecondTick();
    probe->GetASync();
    if (StallTimeout > 0)
        watchdog_.start(std::clamp(StallTimeout / 4, 10, 1000));
    display("GetASync");
}

void TMultipartHttpDownloader::Stop() {
    ++generation_;
    statsTimer_.stop();
    watchdog_.stop();
    keepWrittenSpans();
    retireParts();
    setState(State::Idle);
}

QList<ByteSpan> TMultipartHttpDownloader::CompleteSpans() const {
    // Until the probe has judged the continued document, what the file
    // held before still counts.
    if (resumePending_)
        return MergeSpans(Resume.Complete);
    QList<ByteSpan> spans = done_;
    for (const TMyHttpCli* part : parts_)
        if (!part->Retired && part->DataCount > 0)
            spans.append({part->StartOffset, part->StartOffset + part->DataCount});
    return MergeSpans(spans, contentLength_);
}

void TMultipartHttpDownloader::keepWrittenSpans() {
    if (state_ != State::RangesRunning)
        return;
    for (const TMyHttpCli* part : std::as_const(parts_))
        if (!part->Retired && part->DataCount > 0)
            done_.append({part->StartOffset, part->StartOffset + part->DataCount});
    done_ = MergeSpans(done_, contentLength_);
}

namespace {
// The value of a response header line ("Name: value"), "" when absent.
QByteArray headerValue(const QList<QByteArray>& lines, const QByteArray& name) {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

// Both sides named a validator, and not the same one.
bool differs(const QByteArray& before, const QByteArray& now) {
    return !before.isEmpty() && !now.isEmpty() && before != now;
}
}  // namespace

void TMultipartHttpDownloader::probeHeaderEnd(TMyHttpCli& probe) {
    probe.LastActivity = MillisecondTick();
    const int status = probe.StatusCode();
    // A redirect's own body length says nothing about the document.
    const bool redirect = status >= 300 && status < 400;
    if (probe.ContentLength() > 0 && !redirect) {
        if (!display("HeaderEnd ContentLength = " + QByteArray::number(probe.ContentLength())) ||
            !display("HeaderEnd AcceptRanges = " + probe.AcceptRanges()) ||
            !display("HeaderEnd DocName = " + DecodeDocName(probe.DocName())))
            return;
    }
    if (!display("HeaderEnd StatusCode = " + QByteArray::number(status) + " " + probe.ReasonPhrase()))
        return;
    if (status != 200)
        return;
    // A document without a positive length is not fetched: the probe ends
    // aborted, and so the transfer with (3, "Download failed"). Site scripts
    // answer downloads they refuse with an empty 200 reply, which must not
    // look like a complete (empty) file.
    contentLength_ = std::max<qint64>(probe.ContentLength(), 0);
    lastModified_ = headerValue(probe.RcvdHeader(), "Last-Modified");
    eTag_ = headerValue(probe.RcvdHeader(), "ETag");
    if (!raise([&] {
            if (OnShowStats)
                OnShowStats(*this);
        }))
        return;
    probe.Abort();  // the headers are all the probe was for: no body is read
}

void TMultipartHttpDownloader::probeFinished(TMyHttpCli& probe, quint16 errCode) {
    if (!display("GetASyncRequestDone"))
        return;
    if (contentLength_ > 0) {
        // The ranges start once this event and the probe client's own
        // completion have returned: the probe client becomes range 0.
        const quint64 generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_)
                    RunGuarded([&] { startParts(); });
            },
            Qt::QueuedConnection);
        return;
    }
    if (errCode != 0) {
        // A proxy that failed is named: "Download failed" would hide where.
        proxyFailed_ = probe.ProxyFailed();
        if (display("ErrorCode = " + QByteArray::number(errCode)))
            failTransfer(errCode, proxyFailed_ ? probe.ReasonPhrase() : QByteArray("Download failed"));
        return;
    }
    const int status = probe.StatusCode();
    if (status != 200) {
        if (display("StatusCode = " + QByteArray::number(status) + " " + probe.ReasonPhrase()))
            failTransfer(status, probe.ReasonPhrase());
        return;
    }
    // A 200 is aborted at its headers and so ends with an error code; should
    // one end without, its length was still unusable.
    failTransfer(DownloadError::BadReply, "Download failed");
}

bool TMultipartHttpDownloader::startOver(TStartOverReason reason) {
    startedOver_ = true;
    done_.clear();
    static const char* const words[] = {"size changed", "version changed", "no ranges"};
    if (!display(QByteArray("Starting over: ") + words[int(reason)]))
        return false;
    return raise([&] {
        if (OnStartOver)
            OnStartOver(*this, reason);
    });
}

void TMultipartHttpDownloader::startParts() {
    QList<DownloadRange> ranges;
    if (resumePending_) {
        resumePending_ = false;
        const bool resized = Resume.Length != contentLength_;
        if (resized || differs(Resume.LastModified, lastModified_) || differs(Resume.ETag, eTag_)) {
            if (!startOver(resized ? TStartOverReason::SizeChanged : TStartOverReason::VersionChanged))
                return;
        } else {
            done_ = MergeSpans(Resume.Complete, contentLength_);
            ranges = SplitMissing(MissingSpans(done_, contentLength_), contentLength_, rangeCount_);
            if (ranges.isEmpty()) {
                // The file holds every byte already.
                setState(State::RangesRunning);
                parts_.first()->PartDone = true;
                finishTransfer();
                return;
            }
        }
    }
    if (ranges.isEmpty())
        ranges = SplitDocument(contentLength_, rangeCount_);
    setState(State::RangesRunning);
    // More ranges than connections wait for a connection that is done.
    waiting_ = ranges.mid(rangeCount_);
    ranges = ranges.mid(0, rangeCount_);
    // Entry 0 stays the probe client, ready again since its completion
    // returned; the others are new.
    while (parts_.size() < ranges.size())
        parts_.append(newPartClient(int(parts_.size())));

    for (qsizetype i = 0; i < ranges.size(); ++i) {
        TMyHttpCli& part = *parts_[i];
        const DownloadRange& range = ranges[i];
        part.PartIndex = int(i);
        assignRange(part, range);
        part.FirstRange = i == 0;
        part.OnHeaderEnd = [this](THttpCli& sender) {
            auto& p = static_cast<TMyHttpCli&>(sender);
            if (!p.Retired)
                partHeaderEnd(p);
        };
        part.OnDocData = [this](THttpCli& sender, const char* buffer, int len) {
            auto& p = static_cast<TMyHttpCli&>(sender);
            if (!p.Retired)
                partData(p, buffer, len);
        };
        part.OnLocationChange = [this](THttpCli& sender) {
            auto& p = static_cast<TMyHttpCli&>(sender);
            if (!p.Retired)
                partLocationChange(p);
        };
        part.OnRequestDone = [this](THttpCli& sender, THttpRequest, quint16 errCode) {
            auto& p = static_cast<TMyHttpCli&>(sender);
            if (!p.Retired)
                partFinished(p, errCode);
        };
        if (!raise([&] {
                if (OnProgressAddSegment)
                    OnProgressAddSegment(*this, range.StartOffset, range.EndOffset - range.StartOffset,
                                         range.StartOffset);
            }))
            return;
    }
    for (TMyHttpCli* part : std::as_const(parts_))
        sendRange(*part);
    statsTimer_.start(StatsInterval);
    display("GetASync");
}

void TMultipartHttpDownloader::finishTransfer() {
    statsTimer_.stop();
    watchdog_.stop();
    // The final tick closes FileStream; false when the owner replaced the
    // transfer meanwhile or the destination failed (already reported).
    if (!statsTick(true))
        return;
    if (!display("All done"))
        return;
    setState(State::Done);
    raise([&] {
        if (OnRequestDone)
            OnRequestDone(*this, 200, "OK");
    });
}

void TMultipartHttpDownloader::failTransfer(int errorCode, const QByteArray& reason) {
    ++generation_;
    statsTimer_.stop();
    watchdog_.stop();
    keepWrittenSpans();
    retireParts();  // nothing of this transfer sends or writes any more
    setState(State::Idle);
    // (200, "OK") and 0 mean success to owners: a failure never carries them.
    if (errorCode == 0 || errorCode == 200)
        errorCode = DownloadError::BadReply;
    const QByteArray text = reason.isEmpty() ? QByteArray("Download failed") : reason;
    raise([&] {
        if (OnRequestDone)
            OnRequestDone(*this, errorCode, text);
    });
}

// Fuzzes the files the download queue reads back, which a crash may have
// cut short and anyone may have edited: the state file beside a part file
// and the queue file of unfinished downloads. The first byte picks which;
// the rest is the file's text. What reads must read back the same after
// writing it again, and a state never claims bytes beyond its length.

#include "download/downloadqueue.h"
#include "download/downloadstate.h"
#include "fuzzcheck.h"

namespace {

void stateFile(const QByteArray& input) {
    const std::optional<DownloadState> state = DecodeDownloadState(input);
    if (!state)
        return;
    FUZZ_CHECK(!state->Site.isEmpty() && !state->Id.isEmpty() && state->Length >= 0);
    qint64 end = -1;
    for (const ByteSpan& span : state->Complete) {
        FUZZ_CHECK(span.Begin > end && span.End > span.Begin && span.End <= state->Length);
        end = span.End;
    }
    FUZZ_CHECK(DecodeDownloadState(EncodeDownloadState(*state)) == state);
}

void spans(const QByteArray& input) {
    const std::optional<QList<ByteSpan>> read = ParseSpansText(input);
    if (!read)
        return;
    for (const ByteSpan& span : *read)
        FUZZ_CHECK(span.Begin >= 0 && span.End > span.Begin);
    const QList<ByteSpan> merged = MergeSpans(*read);
    FUZZ_CHECK(ParseSpansText(SpansText(merged)) == merged);
    FUZZ_CHECK(SpanBytes(merged) <= SpanBytes(*read));
}

void queueFile(const QByteArray& input) {
    const QList<QueuedFile> files = DecodeQueueFile(input);
    for (const QueuedFile& f : files)
        FUZZ_CHECK(!f.Site.isEmpty() && !f.Item.Id.isEmpty() && f.Item.Folder.endsWith(QLatin1Char('/')));
    const QList<QueuedFile> again = DecodeQueueFile(EncodeQueueFile(files));
    FUZZ_CHECK(again.size() == files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        FUZZ_CHECK(again[i].Site == files[i].Site && again[i].Account == files[i].Account);
        FUZZ_CHECK(again[i].Item.Id == files[i].Item.Id && again[i].Item.Name == files[i].Item.Name);
        FUZZ_CHECK(again[i].Item.Folder == files[i].Item.Folder && again[i].PartPath == files[i].PartPath);
        FUZZ_CHECK(again[i].Item.KnownSize == files[i].Item.KnownSize && again[i].Paused == files[i].Paused);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (data[0] % 3) {
    case 0:
        stateFile(input);
        break;
    case 1:
        spans(input);
        break;
    case 2:
        queueFile(input);
        break;
    }
    return 0;
}

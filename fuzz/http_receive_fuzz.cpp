// Fuzzes the HTTP client's receive path as the client drives it: reads from
// the connection land in the receive buffer in chunks of random size, the
// header parser and then the body reader (length, chunked, or until the
// close) consume from it, and a response that leaves the connection open is
// followed by the next one on the same connection.
//
// The client's connection is a TCP or TLS socket with no seam for a fake
// one, so this target does what THttpCli::readAvailable, processPending,
// headerEnded and feedBody do, with the same read sizes and body rules,
// over the same three classes.
//
// Input: byte 0 seeds the read sizes, byte 1 picks HTTP/1.0 or 1.1 and HEAD
// requests; the rest is the byte stream of the connection, where 0xFF n v
// (n > 0) stands for n * 1024 bytes v, so that long lines and bodies fit into
// a small input, and 0xFF 0x00 for one byte 0xFF.

#include "fuzzcheck.h"
#include "net/httpbodyreader.h"
#include "net/httpheaderparser.h"
#include "net/httpreceivebuffer.h"

#include <algorithm>
#include <cstring>

namespace {

// The client's read sizes.
constexpr qsizetype MinReadRoom = 8192;
constexpr qsizetype ReadChunk = 256 * 1024;

QByteArray expand(const uint8_t* data, size_t size) {
    QByteArray out;
    // Bounded, so that a run stays quick: beyond the parsers' caps.
    for (size_t i = 0; i < size && out.size() < 1024 * 1024; ++i) {
        if (data[i] != 0xFF) {
            out.append(char(data[i]));
        } else if (i + 1 < size && data[i + 1] == 0) {
            out.append(char(0xFF));
            ++i;
        } else if (i + 2 < size) {
            out.append(qsizetype(data[i + 1]) * 1024, char(data[i + 2]));
            i += 2;
        }
    }
    return out;
}

bool isChunked(const QByteArray& transferCoding) { return transferCoding.trimmed().endsWith("chunked"); }

// Whether the response carries a body, by the client's rules.
bool hasBody(const HttpResponseHead& head, bool headRequest) {
    if (headRequest)
        return false;
    if (head.Headerless)
        return true;
    const int status = head.StatusCode;
    if ((status >= 100 && status < 200) || status == 204 || status == 304)
        return false;
    if (head.ContentLength == 0)
        return false;
    if (isChunked(head.TransferCoding) || head.ContentLength > 0)
        return true;
    return !(status < 200 || status == 301 || status == 302 || status == 401 || status == 407);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    uint32_t random = data[0] * 2654435761u + 1;
    const QByteArray version = (data[1] & 1) ? "1.1" : "1.0";
    const bool headRequest = data[1] & 2;
    const QByteArray stream = expand(data + 2, size - 2);

    enum class Phase { Header, Body, Done };
    HttpReceiveBuffer buffer;
    HttpHeaderParser parser;
    HttpBodyReader body;
    HttpResponseHead head;
    Phase phase = Phase::Header;
    parser.Reset(version);
    qsizetype readPos = 0;         // bytes of the stream read so far
    qsizetype consumedTotal = 0;   // bytes consumed by the parsers
    qsizetype responseStart = 0;   // stream offset where the current response began
    qint64 delivered = 0;          // body bytes of the current response
    qsizetype bodyStart = 0;       // stream offset where the current body began

    // Ends the current response as the client does; false when the
    // connection ends with it.
    auto responseEnded = [&]() -> bool {
        if (!buffer.IsEmpty() || head.CloseAfter)
            return false;  // bytes beyond the response, or the server closes
        // Kept open: the next response starts where this one ended.
        FUZZ_CHECK(consumedTotal == readPos);
        parser.Reset(version);
        phase = Phase::Header;
        responseStart = readPos;
        delivered = 0;
        return true;
    };

    // One processPending: false when the connection is given up.
    auto process = [&]() -> bool {
        if (phase == Phase::Header) {
            const HttpHeaderParser::Step step = parser.Feed(buffer.Data(), buffer.Size());
            FUZZ_CHECK(step.consumed >= 0 && step.consumed <= buffer.Size());
            buffer.Consume(step.consumed);
            consumedTotal += step.consumed;
            if (step.status == HttpHeaderParser::Status::Error)
                return false;
            if (step.status == HttpHeaderParser::Status::NeedMore)
                return true;
            head = parser.Head();
            FUZZ_CHECK(head.ContentLength >= -1);
            if (!hasBody(head, headRequest))
                return responseEnded();
            if (isChunked(head.TransferCoding) && !head.Headerless) {
                body.Start(HttpBodyReader::Mode::Chunked);
            } else if (head.ContentLength > 0 && !head.Headerless) {
                body.Start(HttpBodyReader::Mode::Length, head.ContentLength);
            } else {
                body.Start(HttpBodyReader::Mode::UntilClose);
                head.CloseAfter = true;
            }
            phase = Phase::Body;
            bodyStart = consumedTotal;
        }
        for (;;) {
            const HttpBodyReader::Step step = body.Feed(buffer.Data(), buffer.Size());
            FUZZ_CHECK(step.consumed >= 0 && step.consumed <= buffer.Size());
            FUZZ_CHECK(step.dataOffset >= 0 && step.dataLength >= 0 &&
                       step.dataOffset + step.dataLength <= step.consumed);
            buffer.Consume(step.consumed);
            consumedTotal += step.consumed;
            delivered += step.dataLength;
            // A body never brings more than the stream held after its header.
            FUZZ_CHECK(delivered <= readPos - bodyStart && bodyStart >= responseStart);
            if (body.mode() == HttpBodyReader::Mode::Length)
                FUZZ_CHECK(delivered <= head.ContentLength);
            if (step.error)
                return false;
            if (step.complete) {
                if (body.mode() == HttpBodyReader::Mode::Length)
                    FUZZ_CHECK(delivered == head.ContentLength);
                return responseEnded();
            }
            if (step.consumed == 0 && step.dataLength == 0)
                return true;
        }
    };

    bool open = true;
    while (open && readPos < stream.size()) {
        const qsizetype pendingBefore = buffer.Size();
        char* room = buffer.PrepareWrite(MinReadRoom, ReadChunk);
        FUZZ_CHECK(buffer.FreeSpace() >= MinReadRoom);
        // The storage grows only as far as the client's reads need: one read
        // behind the bytes still pending.
        FUZZ_CHECK(buffer.Capacity() <= pendingBefore + std::max(MinReadRoom, ReadChunk) + MinReadRoom);
        FUZZ_CHECK(buffer.Data() != nullptr && buffer.Size() == pendingBefore);
        random = random * 1103515245u + 12345u;
        const qsizetype wanted = 1 + qsizetype((random >> 8) % ((random & 0x300) ? 70000 : 64));
        const qsizetype n = std::min({wanted, buffer.FreeSpace(), stream.size() - readPos});
        std::memcpy(room, stream.constData() + readPos, size_t(n));
        buffer.CommitWrite(n);
        readPos += n;
        open = process();
        if (!open)
            break;
        // What stays pending is at most one unfinished line and the read
        // that brought it: the parsers' caps bound the buffer.
        FUZZ_CHECK(buffer.Size() <= std::max(HttpHeaderParser::MaxLineBytes, HttpBodyReader::MaxLineBytes) + n);
        FUZZ_CHECK(consumedTotal + buffer.Size() == readPos);
    }
    if (open && phase == Phase::Body && body.mode() == HttpBodyReader::Mode::UntilClose) {
        // The close ends such a body: it is every byte after the header.
        FUZZ_CHECK(buffer.IsEmpty());
        FUZZ_CHECK(delivered == readPos - bodyStart);
    }
    return 0;
}

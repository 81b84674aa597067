// Fuzzes the response side of the HTTP client: the header parser and the
// body reader fed a response in arbitrary slices, the relocation and
// document-name rules applied to whatever Location and path come out, the
// address rules (URL parts, port number, host to resolve) on the texts the
// header carries, and the downloader's judgement of a range reply.
// The first input byte picks the request version, HEAD or not, and the
// slice size; the rest is the response as it arrives on the wire.

#include "fuzzcheck.h"
#include "net/downloadranges.h"
#include "net/httpbodyreader.h"
#include "net/httpheaderparser.h"
#include "net/httprelocation.h"
#include "net/httprequestwriter.h"
#include "net/httpurl.h"

#include <cstdint>

namespace {

// The parts of an address, the port its text names and the host to look up.
void checkAddress(const QByteArray& url) {
    const HttpUrlParts parts = ParseHttpUrl(url);
    for (const QByteArray* part : {&parts.Protocol, &parts.User, &parts.Password, &parts.Host, &parts.Port, &parts.Path})
        FUZZ_CHECK(part->size() <= url.size());
    FUZZ_CHECK(parts.Protocol == parts.Protocol.toLower());
    FUZZ_CHECK(parts.Path.isEmpty() || parts.Path.startsWith('/') || parts.Path.startsWith('?'));
    const quint16 port = HttpPortNumber(parts.Port, parts.Protocol);
    if (parts.Port.isEmpty()) {
        FUZZ_CHECK(port == (parts.Protocol == "https" ? 443 : 80));
    } else if (port != 0) {
        // A port is the decimal number written, 1 to 65535, nothing else.
        bool ok = false;
        FUZZ_CHECK(parts.Port.toUInt(&ok) == port && ok && parts.Port.size() <= 5);
        for (char c : parts.Port)
            FUZZ_CHECK(c >= '0' && c <= '9');
    }
    const QByteArray lookup = HostForLookup(parts.Host);
    if (parts.Host.size() >= 2 && parts.Host.startsWith('[') && parts.Host.endsWith(']'))
        FUZZ_CHECK(lookup == parts.Host.mid(1, parts.Host.size() - 2));
    else
        FUZZ_CHECK(lookup == parts.Host);
    const QByteArray target = HttpRequestTarget(parts.Path);
    FUZZ_CHECK(target.startsWith('/') || target.startsWith('?'));
    FUZZ_CHECK(!target.contains('\r') && !target.contains('\n') && !target.contains('#'));
    // The probe's document name: escapes decoded, never longer.
    const QByteArray name = DecodeDocName(HttpDocName(parts.Path));
    FUZZ_CHECK(name.size() <= HttpDocName(parts.Path).size());
}

// Whether a reply to a range request may be written: only a 206 that starts
// at the asked byte (or, without Content-Range, brings exactly the range), or
// a 200 of the whole document for the range that starts at byte 0.
void checkRangeReply(const HttpResponseHead& head, uint8_t control) {
    RangeAsk ask;
    ask.Begin = (control >> 3) * 1000;
    ask.LastByte = ask.Begin + 999;
    ask.FirstRange = ask.Begin == 0 || (control & 4);
    ask.DocumentLength = head.ContentLength > 0 && (control & 2) ? head.ContentLength : 32000;
    const bool asked = IsAskedRange(head.StatusCode, head.ContentRangeBegin, ask.Begin);
    if (asked) {
        bool ok = false;
        FUZZ_CHECK(head.StatusCode == 206 && head.ContentRangeBegin.trimmed().toLongLong(&ok) == ask.Begin && ok);
    }
    switch (JudgeRangeReply(head.StatusCode, head.ContentRangeBegin, head.ContentLength, ask)) {
    case RangeReplyUse::AskedBytes:
        FUZZ_CHECK(head.StatusCode == 206);
        FUZZ_CHECK(asked || (head.ContentRangeBegin.trimmed().isEmpty() && head.ContentLength == 1000));
        break;
    case RangeReplyUse::WholeDocument:
        FUZZ_CHECK(head.StatusCode == 200 && ask.FirstRange && head.ContentLength == ask.DocumentLength);
        break;
    case RangeReplyUse::Refused:
        FUZZ_CHECK(!asked);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray version = (control & 1) ? "1.1" : "1.0";
    const qsizetype slice = 1 + (control >> 2) * 37;

    // The header, fed as the client feeds it: pending bytes grow by a slice
    // and the consumed part is dropped.
    HttpHeaderParser parser;
    parser.Reset(version);
    QByteArray pending;
    qsizetype next = 0;
    HttpHeaderParser::Step step{HttpHeaderParser::Status::NeedMore, 0};
    while (step.status == HttpHeaderParser::Status::NeedMore && next < input.size()) {
        pending += input.mid(next, slice);
        next += slice;
        step = parser.Feed(pending.constData(), pending.size());
        FUZZ_CHECK(step.consumed >= 0 && step.consumed <= pending.size());
        pending.remove(0, step.consumed);
        // The unconsumed rest is bounded: one line at most.
        FUZZ_CHECK(pending.size() <= HttpHeaderParser::MaxLineBytes + slice);
    }
    const HttpResponseHead& head = parser.Head();
    FUZZ_CHECK(head.ContentLength >= -1);

    // Where a Location would send the request, and the names derived.
    const HttpTarget current = HttpTargetFromUrl("http://pan.example.cn:8080/plugins/a/client_main.php?x=1");
    const HttpRelocationTarget relocation = ResolveHttpRelocation(current, head.Location);
    if (relocation.Valid) {
        FUZZ_CHECK(!relocation.Target.Host.isEmpty());
        const QByteArray target = HttpRequestTarget(relocation.Target.Path);
        FUZZ_CHECK(!target.contains('\n') && !target.contains('\r'));
        FUZZ_CHECK(HttpDocName(relocation.Target.Path).size() <= 255);
        HttpRequestHead request;
        request.Method = "GET";
        request.Target = target;
        request.Version = version;
        request.Host = relocation.Target.Host;
        request.Port = relocation.Target.Port;
        request.Agent = head.ReasonPhrase;
        const QByteArray written = BuildHttpRequestHeader(request);
        FUZZ_CHECK(written.count("\r\n") == (request.Agent.isEmpty() ? 3 : 4));  // no value adds a line
    }
    HttpDocNameForContentType(HttpDocName(head.Location), head.ContentType);
    checkAddress(head.Location);
    checkAddress(head.ReasonPhrase);
    checkRangeReply(head, control);

    if (step.status != HttpHeaderParser::Status::Complete || (control & 2))
        return 0;

    // The body, with the framing the header chose.
    HttpBodyReader reader;
    const bool chunked = head.TransferCoding.trimmed().endsWith("chunked");
    if (chunked)
        reader.Start(HttpBodyReader::Mode::Chunked);
    else if (head.ContentLength > 0)
        reader.Start(HttpBodyReader::Mode::Length, head.ContentLength);
    else
        reader.Start(HttpBodyReader::Mode::UntilClose);
    qint64 bodyBytes = 0;
    for (;;) {
        const HttpBodyReader::Step body = reader.Feed(pending.constData(), pending.size());
        FUZZ_CHECK(body.consumed >= 0 && body.consumed <= pending.size());
        FUZZ_CHECK(body.dataOffset >= 0 && body.dataLength >= 0 && body.dataOffset + body.dataLength <= pending.size());
        bodyBytes += body.dataLength;
        pending.remove(0, body.consumed);
        if (body.error || body.complete)
            break;
        if (body.consumed == 0 && body.dataLength == 0) {
            if (next >= input.size())
                break;
            pending += input.mid(next, slice);
            next += slice;
        }
    }
    if (!chunked && head.ContentLength > 0)
        FUZZ_CHECK(bodyBytes <= head.ContentLength);
    return 0;
}

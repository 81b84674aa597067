// Fuzzes the response side of the HTTP client: the header parser and the
// body reader fed a response in arbitrary slices, and the relocation and
// document-name rules applied to whatever Location and path come out.
// The first input byte picks the request version, HEAD or not, and the
// slice size; the rest is the response as it arrives on the wire.

#include "net/httpbodyreader.h"
#include "net/httpheaderparser.h"
#include "net/httprelocation.h"
#include "net/httprequestwriter.h"
#include "net/httpurl.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void failed(int line) {
    std::fprintf(stderr, "invariant broken at line %d\n", line);
    std::abort();
}

#define check(condition) ((condition) ? void() : failed(__LINE__))

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
        check(step.consumed >= 0 && step.consumed <= pending.size());
        pending.remove(0, step.consumed);
        // The unconsumed rest is bounded: one line at most.
        check(pending.size() <= HttpHeaderParser::MaxLineBytes + slice);
    }
    const HttpResponseHead& head = parser.Head();
    check(head.ContentLength >= -1);

    // Where a Location would send the request, and the names derived.
    const HttpTarget current = HttpTargetFromUrl("http://pan.example.cn:8080/plugins/a/client_main.php?x=1");
    const HttpRelocationTarget relocation = ResolveHttpRelocation(current, head.Location);
    if (relocation.Valid) {
        check(!relocation.Target.Host.isEmpty());
        const QByteArray target = HttpRequestTarget(relocation.Target.Path);
        check(!target.contains('\n') && !target.contains('\r'));
        check(HttpDocName(relocation.Target.Path).size() <= 255);
        HttpRequestHead request;
        request.Method = "GET";
        request.Target = target;
        request.Version = version;
        request.Host = relocation.Target.Host;
        request.Port = relocation.Target.Port;
        request.Agent = head.ReasonPhrase;
        const QByteArray written = BuildHttpRequestHeader(request);
        check(written.count("\r\n") == (request.Agent.isEmpty() ? 3 : 4));  // no value adds a line
    }
    HttpDocNameForContentType(HttpDocName(head.Location), head.ContentType);
    ParseHttpUrl(head.ReasonPhrase);

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
        check(body.consumed >= 0 && body.consumed <= pending.size());
        check(body.dataOffset >= 0 && body.dataLength >= 0 && body.dataOffset + body.dataLength <= pending.size());
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
        check(bodyBytes <= head.ContentLength);
    return 0;
}

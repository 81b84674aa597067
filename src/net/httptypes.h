#pragma once
// The names shared by the HTTP client and its callers: the states of a
// request, the kinds of request, and the numeric codes of its failures.

#include <QtGlobal>

// The life of one request, in the order a request on a new connection passes
// through them. httpWaitingProxyConnect and httpClosing exist for
// completeness; this client never enters them.
enum THttpState {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpBodyReceived,
    httpWaitingProxyConnect,
    httpClosing,
    httpAborting,
};

// The kind of a request. The client issues httpGET, httpPOST and httpHEAD;
// httpABORT is the kind before the first request.
enum THttpRequest { httpABORT, httpGET, httpPOST, httpPUT, httpHEAD, httpCLOSE };

// The name of a state or a request kind, for logs and the tool.
const char* HttpStateName(THttpState state);
const char* HttpRequestName(THttpRequest request);

namespace HttpError {
// Error codes of OnRequestDone besides the socket layer's numbers.
constexpr quint16 Aborted = 3;   // Abort, or the application is ending
constexpr quint16 TimedOut = 8;  // Post gave up after Timeout seconds without traffic
// The response breaks the protocol or the client's limits (header line over
// 100 KiB, header over 300 KiB, malformed chunked body). The number is the
// one Windows gives an unparsable server response (12152).
constexpr quint16 BadResponse = 12152;
// The body could not be written to ReceiveStream (disk full, closed
// stream). The number is the Windows "cannot write" fault (29).
constexpr quint16 WriteFailed = 29;

// Codes of EHttpException raised when a request cannot start.
constexpr int Busy = 1;
constexpr int NothingToPost = 2;
constexpr int UnsupportedVersion = 5;
}  // namespace HttpError

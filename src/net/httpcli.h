#pragma once
// THttpCli: the asynchronous HTTP/1.0 client (HTTP/1.1 replies understood)
// through which the program talks to web servers: form posts to the site's
// scripts, reachability probes (HEAD) and plain and ranged downloads. It runs
// on the thread's event loop: GetASync, PostASync and HeadASync return at
// once and report the end of the request through OnRequestDone, which is
// always delivered from the event loop, never inside the starting call or
// a socket event. Post waits for the end while the event loop keeps running.
//
// The protocol rules live in plain classes (httpurl, httprequestwriter,
// httpheaderparser, httpbodyreader, httprelocation); this class drives them
// from the socket (httpconnection) and name lookup events.
//
// Usage:
//     THttpCli http;
//     http.URL = "http://host/path";
//     http.ReceiveStream = &buffer;   // owned by the caller
//     http.OnRequestDone = [](THttpCli& sender, THttpRequest, quint16 errCode) { ... };
//     http.GetASync();

#include "net/httpbodyreader.h"
#include "net/httpheaderparser.h"
#include "net/httpreceivebuffer.h"
#include "net/httprelocation.h"
#include "net/httptypes.h"
#include "text/errors.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QIODevice>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <functional>

class HttpConnection;
class NetConnector;

class THttpCli : public QObject {
    Q_OBJECT
public:
    explicit THttpCli(QObject* parent = nullptr);
    explicit THttpCli(const QByteArray& name, QObject* parent = nullptr);
    ~THttpCli() override;

    // --- Configuration (set before an operation) ---------------------------
    QByteArray Name;  // component name, shown in the "is busy" error
    QByteArray URL;   // absolute address of the request
    QByteArray Agent = "Mozilla/4.0 (compatible; QHC)";
    QByteArray Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    QByteArray ContentTypePost = "application/x-www-form-urlencoded";
    bool NoCache = false;          // adds "Pragma: no-cache"
    bool FollowRelocation = true;  // follow Location lines
    int LocationChangeMaxCount = 5;
    quint32 Timeout = 30;          // seconds without traffic after which Post gives up
    // Requested byte range (decimal texts). Cleared once the request header
    // is written; a Content-Range line of the response fills them again.
    QByteArray ContentRangeBegin;
    QByteArray ContentRangeEnd;
    QByteArray LocalAddr = "0.0.0.0";  // local address to bind to ("0.0.0.0": any)
    // Request body of a POST: the bytes from the current position to the end.
    QIODevice* SendStream = nullptr;
    // Optional: every piece of the response body is written at its position.
    QIODevice* ReceiveStream = nullptr;
    // Certificates trusted for "https" besides the system's (a private
    // site's own authority, tests).
    QList<QSslCertificate> ExtraCaCertificates;
    // How connections are made: the proxy and the rate limits (see
    // NetConnector). Null: directly and unlimited.
    QPointer<NetConnector> Connector;
    // Adds the PEM certificates of a file to ExtraCaCertificates; returns
    // how many it added (0 when the file holds none or cannot be read).
    int AddTrustedCertificates(const QString& pemFile);

    // "1.0" or "1.1"; any other value raises EHttpException code 5 and the
    // old value stays. "1.1" keeps the connection open for the next request
    // to the same host, port and protocol.
    const QByteArray& RequestVer() const { return requestVer_; }
    void SetRequestVer(const QByteArray& version);

    // --- Operations ---------------------------------------------------------
    // Start a request to URL and return at once; OnRequestDone reports the
    // end. Raise EHttpException code 1 when a request is in progress, and
    // (posts) code 2 when SendStream is not set.
    void GetASync();
    void PostASync();
    void HeadASync();
    // Posts and waits, processing the application's events, until the
    // request is done (OnRequestDone has run). Gives up after Timeout
    // seconds without traffic (error code 8) or when the application is
    // ending (error code 3). Raises EHttpException(ReasonPhrase, StatusCode)
    // when StatusCode is 400 or more, other than 401 and 407.
    void Post();
    // Abandons the request in progress (error code 3, StatusCode 404,
    // "Connection aborted on request"). On an idle component: drops the
    // open connection and raises OnRequestDone at once with error code 0 and
    // StatusCode 200. When the last request has ended but its OnRequestDone
    // is not delivered yet, only the connection is dropped: that pending
    // report, with the request's results, stays the only one.
    void Abort();

    // --- Results of the request in progress or last finished --------------
    THttpState State() const { return state_; }
    // A request is in progress, or its OnRequestDone has not been delivered
    // yet: a new request would be refused.
    bool IsBusy() const { return state_ != httpReady || reportPending_; }
    THttpRequest RequestType() const { return requestType_; }
    int StatusCode() const { return statusCode_; }
    const QByteArray& ReasonPhrase() const { return reasonPhrase_; }
    qint64 ContentLength() const { return contentLength_; }
    const QByteArray& AcceptRanges() const { return acceptRanges_; }
    const QByteArray& DocName() const { return docName_; }
    const QByteArray& Location() const { return location_; }
    int LocationChangeCurCount() const { return locationChangeCurCount_; }
    const QList<QByteArray>& RcvdHeader() const { return head_.Lines; }
    const QByteArray& ContentType() const { return head_.ContentType; }
    qint64 RcvdCount() const { return rcvdCount_; }
    qint64 SentCount() const { return sentCount_; }
    // Milliseconds since the connection was established or last sent or
    // received bytes (header, body, redirects alike); -1 before any
    // connection.
    qint64 MillisecondsSinceTraffic() const { return lastActivity_.isValid() ? lastActivity_.elapsed() : -1; }
    // The request failed at the proxy (down, refusing the client, or unable
    // to reach the server): ReasonPhrase is a message that names the proxy.
    bool ProxyFailed() const { return proxyFailed_; }

    // --- Events -------------------------------------------------------------
    std::function<void(THttpCli& sender, THttpRequest rqType, quint16 errCode)> OnRequestDone;
    std::function<void(THttpCli& sender)> OnHeaderEnd;
    std::function<void(THttpCli& sender, const char* buffer, int len)> OnDocData;
    std::function<void(THttpCli& sender)> OnLocationChange;
    std::function<void(THttpCli& sender, int relocationCount, bool& allowMoreRelocations)>
        OnLocationChangeExceeded;
    // Every state change, for logs and tests. It only observes: it must not
    // start, abort or destroy anything.
    std::function<void(THttpCli& sender, THttpState state)> OnStateChange;

private Q_SLOTS:
    // The result of a name lookup started with QHostInfo::lookupHost. A slot
    // rather than a function object: Qt 6.4 leaks its copy of a function
    // object when the lookup is aborted or its receiver is gone, while a
    // slot connection just goes with either.
    void hostLookedUp(const QHostInfo& info);

private:
    enum class Phase { None, Header, Body, DiscardHead };

    void startRequest(THttpRequest type);
    void resetResults();
    void startOnTarget();
    void setState(THttpState state);
    template <class Handler>
    bool raise(Handler&& handler);

    // name lookup and connection
    void lookupDone(quint64 serial, const QHostInfo& info);
    void connectTo(const QList<QHostAddress>& addresses);
    void connected();
    void connectFailed(int errorCode, const QByteArray& reason);
    void writeRequest();
    void sendNextBlock();
    void readAvailable();
    void socketClosed(int errorCode);
    void dropConnection();
    void closeGracefully();

    // the response
    void processPending();
    void headerEnded();
    void publishHeader();
    bool responseHasBody() const;
    void feedBody();
    void deliverBody(const char* data, qsizetype length);
    void bodyEnded();
    void responseEnded();
    void failResponse(const QByteArray& reason);
    void connectionClosed(int errorCode);

    // relocation and completion
    void carryOutRelocation();
    void continueRelocation();
    void completeRequest();
    void setReady();
    void abandon(const QByteArray& reason, quint16 errorCode);

    QByteArray requestVer_ = "1.0";
    THttpState state_ = httpReady;
    bool reportPending_ = false;  // OnRequestDone posted, not yet delivered
    THttpRequest requestType_ = httpABORT;
    QByteArray method_;
    quint16 errCode_ = 0;
    int statusCode_ = 0;
    QByteArray reasonPhrase_;
    qint64 contentLength_ = -1;
    QByteArray acceptRanges_;
    QByteArray docName_;
    QByteArray location_;
    int locationChangeCurCount_ = 0;

    HttpTarget target_;         // where the current request goes
    HttpRelocationTarget relocation_;
    bool relocationPending_ = false;
    bool relocationClosing_ = false;  // waiting for the close before relocating
    bool closeAfter_ = true;

    HttpConnection* connection_ = nullptr;
    bool reusedConnection_ = false;
    bool resolvedByProxy_ = false;  // the proxy resolves the host's name: no lookup here
    bool proxyFailed_ = false;
    bool retriedFreshConnection_ = false;
    int lookupId_ = -1;         // the name lookup running for the request, -1 when none
    quint64 requestId_ = 0;     // counts operations
    quint64 serial_ = 0;        // changes with every start, restart and abandon: stale notices see it
    quint64 doneRequestId_ = 0; // the operation whose OnRequestDone ran last
    int doneStatusCode_ = 0;
    QByteArray doneReasonPhrase_;

    Phase phase_ = Phase::None;
    HttpHeaderParser parser_;
    HttpResponseHead head_;
    HttpBodyReader body_;
    HttpReceiveBuffer buffer_;
    bool bodyStarted_ = false;
    qint64 receiveStartSize_ = 0;
    qint64 receiveStartPos_ = 0;
    qint64 responseBytes_ = 0;  // bytes received since the request was written
    qint64 rcvdCount_ = 0;
    qint64 sentCount_ = 0;
    bool sendFinished_ = true;
    QElapsedTimer lastActivity_;  // the connection's activity clock (Post's time-out)
};

// Runs an event handler through the standard error report. False when the
// handler destroyed the component: the caller must then return at once.
template <class Handler>
bool THttpCli::raise(Handler&& handler) {
    QPointer<THttpCli> self(this);
    RunGuarded(std::forward<Handler>(handler));
    return !self.isNull();
}

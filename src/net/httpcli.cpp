// THttpCli: operations, results, completion and abandoning a request.

#include "net/httpcli.h"

#include "net/httpconnection.h"
#include "net/httpurl.h"
#include "net/nestedwait.h"

#include <QSslCertificate>

THttpCli::THttpCli(QObject* parent) : QObject(parent) {}

THttpCli::THttpCli(const QByteArray& name, QObject* parent) : QObject(parent), Name(name) {}

THttpCli::~THttpCli() {
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    // The connection may be inside one of its socket's signals right now:
    // silence it and let the event loop delete it.
    if (connection_) {
        connection_->setParent(nullptr);
        connection_->Abort();
        connection_->deleteLater();
        connection_ = nullptr;
    }
}

int THttpCli::AddTrustedCertificates(const QString& pemFile) {
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(pemFile, QSsl::Pem);
    ExtraCaCertificates += certificates;
    return int(certificates.size());
}

void THttpCli::SetRequestVer(const QByteArray& version) {
    if (version != "1.0" && version != "1.1")
        throw EHttpException("Insupported HTTP version", HttpError::UnsupportedVersion);
    requestVer_ = version;
}

void THttpCli::GetASync() { startRequest(httpGET); }

void THttpCli::PostASync() { startRequest(httpPOST); }

void THttpCli::HeadASync() { startRequest(httpHEAD); }

void THttpCli::startRequest(THttpRequest type) {
    if (IsBusy())
        throw EHttpException("HTTP component " + Name + " is busy", HttpError::Busy);
    if ((type == httpPOST || type == httpPUT) && !SendStream)
        throw EHttpException("HTTP component has nothing to post or put", HttpError::NothingToPost);

    ++requestId_;
    locationChangeCurCount_ = 0;
    requestType_ = type;
    switch (type) {
    case httpPOST: method_ = "POST"; break;
    case httpPUT: method_ = "PUT"; break;
    case httpHEAD: method_ = "HEAD"; break;
    default: method_ = "GET"; break;
    }
    resetResults();
    location_ = URL;
    target_ = HttpTargetFromUrl(URL);
    docName_ = HttpDocName(target_.Path);
    relocationPending_ = false;
    relocationClosing_ = false;
    retriedFreshConnection_ = false;
    startOnTarget();
}

void THttpCli::resetResults() {
    head_ = HttpResponseHead();
    errCode_ = 0;
    proxyFailed_ = false;
    docName_.clear();
    statusCode_ = 0;
    reasonPhrase_.clear();
    rcvdCount_ = 0;
    sentCount_ = 0;
    contentLength_ = -1;
    bodyStarted_ = false;
    closeAfter_ = requestVer_ == "1.0";
}

void THttpCli::setState(THttpState state) {
    state_ = state;
    if (OnStateChange)
        RunGuarded([&] { OnStateChange(*this, state); });
}

void THttpCli::completeRequest() {
    if (phase_ != Phase::DiscardHead)
        phase_ = Phase::None;
    // Two notices: the first makes the component ready, the second reports
    // the end. OnRequestDone thus never runs inside the call or the socket
    // event that finished the request, and finds the component ready.
    const quint64 serial = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            if (serial == serial_ && state_ != httpReady)
                setReady();
        },
        Qt::QueuedConnection);
}

void THttpCli::setReady() {
    // Until OnRequestDone has been delivered the component stays busy: a
    // request started in between would have its streams freed by the
    // earlier request's completion handler.
    reportPending_ = true;
    setState(httpReady);
    const quint64 id = requestId_;
    const THttpRequest type = requestType_;
    const quint16 code = errCode_;
    const int status = statusCode_;
    const QByteArray reason = reasonPhrase_;
    QMetaObject::invokeMethod(
        this,
        [this, id, type, code, status, reason] {
            doneRequestId_ = id;
            doneStatusCode_ = status;
            doneReasonPhrase_ = reason;
            reportPending_ = false;
            if (OnRequestDone)
                raise([&] { OnRequestDone(*this, type, code); });
        },
        Qt::QueuedConnection);
}

void THttpCli::abandon(const QByteArray& reason, quint16 errorCode) {
    const bool lookupRunning = state_ == httpDnsLookup;
    setState(httpAborting);
    relocationPending_ = false;
    relocationClosing_ = false;
    if (lookupRunning && lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    ++serial_;  // notices of the abandoned request find nothing to do
    statusCode_ = 404;
    reasonPhrase_ = reason;
    errCode_ = errorCode;
    phase_ = Phase::None;
    buffer_.Clear();
    dropConnection();
    setReady();
}

void THttpCli::Abort() {
    if (state_ != httpReady) {
        abandon("Connection aborted on request", HttpError::Aborted);
        return;
    }
    dropConnection();
    if (reportPending_) {
        // The request has ended and its OnRequestDone is on its way with the
        // request's own outcome: a second report, and one of success at
        // that, would make a failed request look successful.
        return;
    }
    phase_ = Phase::None;
    buffer_.Clear();
    statusCode_ = 200;
    reasonPhrase_ = "OK";
    errCode_ = 0;
    if (OnRequestDone)
        raise([&] { OnRequestDone(*this, requestType_, 0); });
}

void THttpCli::Post() {
    startRequest(httpPOST);
    const quint64 id = requestId_;
    lastActivity_.start();
    QPointer<THttpCli> self(this);
    const WaitOutcome outcome = WaitWhileProcessingEvents(
        [&] { return self.isNull() || doneRequestId_ >= id; },
        [&] { return state_ != httpReady && lastActivity_.elapsed() >= qint64(Timeout) * 1000; }, 1000);
    if (self.isNull())
        return;  // destroyed by a handler while waiting

    int status = 0;
    QByteArray reason;
    if (doneRequestId_ >= id) {
        status = doneStatusCode_;
        reason = doneReasonPhrase_;
    } else {
        // Given up: the completion notice is processed after Post has left.
        if (outcome == WaitOutcome::TimedOut)
            abandon("Request aborted on timeout", HttpError::TimedOut);
        else if (state_ != httpReady)
            abandon("Request aborted", HttpError::Aborted);
        status = statusCode_;
        reason = reasonPhrase_;
    }
    if (status >= 400 && status != 401 && status != 407)
        throw EHttpException(reason, status);
}

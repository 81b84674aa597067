// TFtpClient: request life cycle, completions, blocking waits and the control
// connection's replies.

#include "net/ftpclient.h"

#include "net/nestedwait.h"
#include "net/socketerror.h"
#include "text/gbk.h"

#include <QMetaObject>
#include <algorithm>

namespace {

// The result of a reply outside the success list is its code, except for
// codes that could not fail a request: 0 would read as success, and codes
// beyond the 16 bits of ErrCode could wrap to it. Those fail with 500.
int failureCode(int code) { return (code > 0 && code <= 65535) ? code : 500; }

quint16 errCodeOf(int result) { return result == 0 ? 0 : quint16(failureCode(result)); }

constexpr qsizetype kMultiResponseLimit = 65536;

}  // namespace

TFtpClient::TFtpClient(QObject* parent) : QObject(parent) {
    clock_.start();
    control_.onConnected = [this] { onControlConnected(); };
    control_.onConnectFailed = [this](int code) { onControlConnectFailed(code); };
    control_.onReceived = [this] { onControlReceived(); };
    control_.onClosed = [this](int code) { onControlClosed(code); };
    control_.onSecured = [this] { onControlSecured(); };
    control_.onTlsFailed = [this](int code, const QByteArray& problem) { onControlTlsFailed(code, problem); };
    data_.onConnected = [this] { onDataConnected(); };
    data_.onReady = [this] { onDataReady(); };
    data_.onTlsFailed = [this](int code, const QByteArray& problem) { onDataTlsFailed(code, problem); };
    data_.onConnectFailed = [this](int code) { onDataConnectFailed(code); };
    data_.onDrained = [this] { onDataDrained(); };
    data_.onClosed = [this](int code) { onDataClosed(code); };
    // Bytes let through by the upload limit are progress too: a slow limit
    // must not look like a stalled server to the blocking waits.
    data_.onSent = [this] { moveDeadline(); };
    asyncDeadline_ = new QTimer(this);
    asyncDeadline_->setSingleShot(true);
    connect(asyncDeadline_, &QTimer::timeout, this, [this] { checkAsyncDeadline(); });
}

TFtpClient::~TFtpClient() {
    control_.onClosed = nullptr;
    control_.abort();
    data_.close();
}

int TFtpClient::AddTrustedCertificates(const QString& pemFile) {
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(pemFile, QSsl::Pem);
    ExtraCaCertificates += certificates;
    return int(certificates.size());
}

// ---- State, diagnostics, errors ---------------------------------------------

void TFtpClient::setState(TFtpState state) {
    if (state == state_)
        return;
    const TFtpState previous = state_;
    state_ = state;
    if (OnStateChange)
        RunGuarded([&] { OnStateChange(*this, previous, state); });
}

void TFtpClient::display(const QByteArray& text) {
    if (!OnDisplay)
        return;
    QByteArray msg = text;
    RunGuarded([&] { OnDisplay(*this, msg); });
}

void TFtpClient::raise(const QByteArray& message) {
    errorMessage_ = message;
    display("! " + message);
    throw FtpException(message);
}

void TFtpClient::checkCanStart(bool needsConnection) {
    if (state_ != ftpReady && state_ != ftpInternalReady && state_ != ftpPassiveReady)
        raise("FTP component not ready");
    if (needsConnection && !connected_)
        raise("FTP component not connected");
}

bool TFtpClient::passiveMode() const { return Passive || ConnectionType != ftpDirect; }

bool TFtpClient::storeRunning() const {
    return !requestDone_ && (rqType_ == ftpPutAsync || rqType_ == ftpRestPutAsync);
}

void TFtpClient::moveDeadline() { deadlineMs_ = clock_.elapsed() + qint64(Timeout) * 1000; }

// ---- Request life cycle ------------------------------------------------------

void TFtpClient::beginRequest(TFtpRequest rqType, QList<Step> laterSteps) {
    rqType_ = rqType;
    requestDone_ = false;
    result_ = 0;
    errorMessage_.clear();
    failedCommand_.clear();
    steps_ = std::move(laterSteps);
    if (TimeLimitAsync && Timeout > 0) {
        moveDeadline();
        asyncDeadline_->start(Timeout * 1000);
    }
}

// TimeLimitAsync: progress moves the deadline, so the check looks again
// until the request ends or the deadline has passed.
void TFtpClient::checkAsyncDeadline() {
    if (requestDone_ || Timeout <= 0)
        return;
    const qint64 left = deadlineMs_ - clock_.elapsed();
    if (left > 0) {
        asyncDeadline_->start(int(std::min<qint64>(left, Timeout * 1000LL)) + 1);
        return;
    }
    giveUpWaiting();
}

void TFtpClient::sendCommand(const QByteArray& command, QList<int> successCodes, ReplyHandler onReply) {
    successCodes_ = std::move(successCodes);
    onReply_ = onReply;
    commandVerb_ = command.left(command.indexOf(' '));
    setState(ftpWaitingResponse);
    display("> " + command);
    if (control_.send(command))
        return;
    // The connection went away under the request. QUIT wanted exactly that.
    onReply_ = nullptr;
    const bool quit = command == "QUIT";
    statusCode_ = quit ? 200 : 550;
    lastResponse_ = QByteArray::number(statusCode_) + " not connected";
    display("< " + lastResponse_);
    if (!quit && errorMessage_.isEmpty())
        errorMessage_ = lastResponse_;
    finishStep(quit ? 0 : 550);
}

int TFtpClient::checkReply(int code) {
    const bool success = successCodes_.isEmpty() ? code < 500 : successCodes_.contains(code);
    if (success)
        return 0;
    if (errorMessage_.isEmpty())
        errorMessage_ = lastResponse_;
    failedCommand_ = commandVerb_;
    return failureCode(code);
}

// Only the first end of a request counts. A successful step of a multi-step
// request starts the next one; anything else completes the request.
void TFtpClient::finishStep(int result) {
    if (requestDone_)
        return;
    if (result != 0 || steps_.isEmpty()) {
        complete(result);
        return;
    }
    if (state_ != ftpPassiveReady && state_ != ftpAborting)
        setState(ftpInternalReady);
    const Step next = steps_.takeFirst();
    try {
        (this->*next)();
    } catch (const QxError& error) {
        failInReplyHandling(error.message());
    }
}

void TFtpClient::complete(int result) {
    if (requestDone_)
        return;
    requestDone_ = true;
    result_ = result;
    onReply_ = nullptr;
    steps_.clear();
    if (rqType_ == ftpPutAsync || rqType_ == ftpRestPutAsync) {
        // Every ended store starts the next one from the beginning unless
        // told otherwise.
        endStoreFiles();
        if (!Options.testFlag(ftpNoAutoResumeAt))
            ResumeAt = 0;
    }
    data_.close();
    setState(ftpReady);
    ++pendingCompletions_;
    const TFtpRequest rqType = rqType_;
    const quint16 errCode = errCodeOf(result);
    QMetaObject::invokeMethod(
        this, [this, rqType, errCode] { deliverCompletion(rqType, errCode); }, Qt::QueuedConnection);
}

// A failure found on this side: the text stands where a reply would.
void TFtpClient::failLocally(const QByteArray& text, int code) {
    lastResponse_ = text;
    statusCode_ = code;
    errorMessage_ = text;
    display("! " + text);
    complete(code);
}

// The single point where completions reach the application. An error that
// escapes its handler (say, PutAsync refusing to start inside it) must not
// unwind through the event loop: the client drops the connection instead.
void TFtpClient::deliverCompletion(TFtpRequest rqType, quint16 errCode) {
    --pendingCompletions_;
    if (!OnRequestDone)
        return;
    QByteArray escaped;
    try {
        OnRequestDone(*this, rqType, errCode);
        return;
    } catch (const QxError& error) {
        escaped = error.message();
    } catch (const std::exception& error) {
        escaped = error.what();
    } catch (...) {
        escaped = "unknown error";
    }
    display("! Error in request handler: " + escaped);
    Abort();
}

// ---- Blocking forms ---------------------------------------------------------------

// Idle means: no request running and every completion already delivered, so
// that the handlers (and the requests they start) run inside this wait, as
// the upload run expects of Open. The state alone does not tell: between the
// steps of a store it is InternalReady while the data connection is being
// made, and the wait must not end there.
bool TFtpClient::waitUntilIdle() {
    moveDeadline();
    const WaitOutcome outcome = WaitWhileProcessingEvents(
        [this] {
            return requestDone_ && pendingCompletions_ == 0 &&
                   (state_ == ftpReady || state_ == ftpInternalReady);
        },
        [this] { return Timeout > 0 && clock_.elapsed() >= deadlineMs_; },
        Options.testFlag(ftpWaitUsingSleep) ? 10 : 1000);
    if (outcome == WaitOutcome::Done)
        return result_ == 0;
    giveUpWaiting();
    return false;
}

void TFtpClient::giveUpWaiting() {
    Abort();
    errorMessage_ = "426 Timeout";
    statusCode_ = 426;
    display("! " + errorMessage_);
}

bool TFtpClient::runBlocking(void (TFtpClient::*start)()) {
    try {
        (this->*start)();
    } catch (const QxError&) {
        return false;  // ErrorMessage holds the text; no completion follows
    }
    return waitUntilIdle();
}

bool TFtpClient::Open() { return runBlocking(&TFtpClient::OpenAsync); }
bool TFtpClient::User() { return runBlocking(&TFtpClient::UserAsync); }
bool TFtpClient::Pass() { return runBlocking(&TFtpClient::PassAsync); }
bool TFtpClient::Cwd() { return runBlocking(&TFtpClient::CwdAsync); }
bool TFtpClient::TypeSet() { return runBlocking(&TFtpClient::TypeSetAsync); }
bool TFtpClient::Size() { return runBlocking(&TFtpClient::SizeAsync); }
bool TFtpClient::Quit() { return runBlocking(&TFtpClient::QuitAsync); }

bool TFtpClient::Abort() {
    display("! Aborting");
    setState(ftpAborting);
    endStoreFiles();
    ResumeAt = 0;
    ++session_;  // late lookups and socket events of the old session are ignored
    checkPending_ = false;
    forgetAhead();
    control_.abort();
    data_.close();
    connected_ = false;
    if (!requestDone_) {
        if (storeRunning()) {
            errorMessage_ = "426 Operation aborted.";
            complete(426);
        } else if (result_ != 0) {
            complete(result_);
        } else {
            // A request cut off before its reply has not succeeded.
            errorMessage_ = "426 Operation aborted.";
            complete(426);
        }
    }
    setState(ftpReady);
    return true;
}

// ---- Control connection ----------------------------------------------------------

void TFtpClient::resetConnection() {
    ++session_;
    control_.abort();
    data_.close();
    endStoreFiles();
    connected_ = false;
    tlsActive_ = false;
    dataProtected_ = false;
    tlsDescription_.clear();
    tlsFailure_.clear();
    proxyFailure_.clear();
    greetingLine_.clear();
    closeCompletes_ = false;
    serverAddress_.clear();
    checkPending_ = false;
    forgetAhead();
    passiveReply_.clear();
    multiResponse_.clear();
    replyEnded_ = true;
}

void TFtpClient::onControlConnected() {
    connected_ = true;
    if (const std::optional<NetProxy> proxy = PathProxyFor(Connector.data(), "ftp", HostName))
        display("! Connected to " + HostName + " through the proxy " + proxy->label());
    else
        display("! Connected to " + control_.peerAddress().toString().toLatin1());
}

void TFtpClient::onControlConnectFailed(int errorCode) {
    // Through a proxy the message names it: the server was not even reached.
    proxyFailure_ = control_.proxyFailure();
    lastResponse_ = "500 Connect error - " + (proxyFailure_.isEmpty() ? SocketErrorDesc(errorCode) : proxyFailure_);
    statusCode_ = 500;
    errorMessage_ = lastResponse_;
    display("! " + lastResponse_);
    control_.abort();
    complete(errorCode);
}

void TFtpClient::onControlReceived() {
    const quint64 session = session_;
    FtpReplyParser& parser = control_.parser();
    parser.setAcceptLF(Options.testFlag(ftpAcceptLF));
    FtpReplyLine line;
    for (;;) {
        switch (parser.next(line)) {
        case FtpReplyParser::Status::NeedMore: return;
        case FtpReplyParser::Status::Overflow:
            display("! Reply line longer than the reply buffer");
            control_.closeWithError(WinSock::MessageTooLong);
            return;
        case FtpReplyParser::Status::Line: break;
        }
        try {
            handleReplyLine(line);
        } catch (const QxError& error) {
            failInReplyHandling(error.message());
        }
        // The reply may have closed or replaced the connection.
        if (session != session_ || !control_.isOpen())
            return;
    }
}

void TFtpClient::handleReplyLine(const FtpReplyLine& line) {
    if (aheadSent_ && line.hasCode && line.final && state_ != ftpWaitingBanner && takeAheadReply(line)) {
        display("< " + line.text);
        return;
    }
    lastResponse_ = line.text;
    if (replyEnded_) {
        multiResponse_.clear();
        replyEnded_ = false;
    }
    if (multiResponse_.size() + line.text.size() + 2 <= kMultiResponseLimit)
        multiResponse_ += line.text + "\r\n";
    display("< " + line.text);
    if (!line.hasCode)
        return;
    statusCode_ = line.code;
    if (!line.final)
        return;
    replyEnded_ = true;
    if (state_ == ftpWaitingBanner) {
        handleGreeting(line.code);
        return;
    }
    if (checkPending_) {
        // The reply to the SIZE sent before the store's first command.
        checkPending_ = false;
        checkAnswered_ = true;
        checkedSize_ = line.code == 213 ? FtpSizeReply(line.text) : -1;
        return;
    }
    const ReplyHandler handler = onReply_;
    if (!handler)
        return;  // a reply nobody asked for is only shown
    onReply_ = nullptr;
    (this->*handler)(checkReply(line.code));
}

void TFtpClient::handleGreeting(int code) {
    if (code == 220) {
        setState(ftpConnected);
        if (TlsMode != TFtpTlsMode::Never) {
            greetingLine_ = lastResponse_;
            sendAuthTls();
            return;
        }
        finishStep(0);
        return;
    }
    if (errorMessage_.isEmpty())
        errorMessage_ = lastResponse_;
    closeAfterReply(failureCode(code));
}

// While the store's final reply is awaited, 213 can only answer SIZE and a
// 5xx is taken for SIZE's "no such file" (a store that fails with 5xx after
// 150 then fails on the reply that follows instead: it fails either way).
// Once the store has ended, the next reply is SIZE's.
bool TFtpClient::takeAheadReply(const FtpReplyLine& line) {
    const bool storeAwaits = onReply_ == &TFtpClient::onStorFinalReply;
    if (storeAwaits && line.code != 213 && line.code < 500)
        return false;
    aheadSent_ = false;
    aheadAnswered_ = true;
    aheadLine_ = line.text;
    aheadCode_ = line.code;
    return true;
}

void TFtpClient::forgetAhead() {
    aheadName_.clear();
    aheadSent_ = false;
    aheadAnswered_ = false;
    aheadLine_.clear();
    aheadCode_ = 0;
}

// ---- Explicit TLS (RFC 4217) -------------------------------------------------------

void TFtpClient::sendAuthTls() { sendCommand("AUTH TLS", {234}, &TFtpClient::onAuthTlsReply); }

void TFtpClient::onAuthTlsReply(int result) {
    if (result == 0) {
        display("! Starting TLS, certificate checked for " + HostName);
        if (!control_.startTls(FtpTlsConfiguration(ExtraCaCertificates), FromGbk(HostName)))
            onControlTlsFailed(TlsError::HandshakeFailed, "TLS is not available");
        return;
    }
    const int code = statusCode_;
    if (code >= 400 && code < 500) {
        // A transient refusal (RFC 2228: 431, a resource the server lacks
        // for now) says nothing about TLS being offered: this try fails,
        // and nothing goes out in plain text.
        display("! The server refused AUTH TLS for now; not logging in without TLS");
        closeAfterReply(failureCode(code));
        return;
    }
    if (TlsMode == TFtpTlsMode::Required) {
        refuseWithoutTls("TLS required, but the server refused AUTH TLS: ");
        return;
    }
    if (tlsServers().Contains(HostName, controlPort_)) {
        // This server spoke TLS before: a refusal now is a fault or someone
        // in between stripping TLS, never a reason to send the password in
        // plain text.
        refuseWithoutTls("TLS required, this server used TLS before, but it refused AUTH TLS: ");
        return;
    }
    if (code < 500) {
        refuseWithoutTls("TLS not established, unexpected reply to AUTH TLS: ");
        return;
    }
    // A server without TLS: Open ends as it does without AUTH TLS, on the
    // greeting.
    display("! The server does not offer TLS; going on in plain text");
    errorMessage_.clear();
    failedCommand_.clear();
    lastResponse_ = greetingLine_;
    statusCode_ = 220;
    finishStep(0);
}

// No log-in in plain text: the connection is closed unused.
void TFtpClient::refuseWithoutTls(const QByteArray& why) {
    lastResponse_ = "534 " + why + lastResponse_;
    statusCode_ = 534;
    errorMessage_ = lastResponse_;
    display("! " + lastResponse_);
    closeAfterReply(534);
}

void TFtpClient::onControlSecured() {
    tlsActive_ = true;
    tlsDescription_ = control_.tlsDescription();
    tlsServers().Add(HostName, controlPort_);
    display("! TLS established: " + tlsDescription_);
    finishStep(0);
}

QByteArray TFtpClient::tlsFailureText(int code, const QByteArray& problem) {
    return (code == TlsError::CertificateRejected ? "TLS certificate rejected - " : "TLS handshake failed - ") +
           problem;
}

// Never a fallback to plain text: the connection is gone, the request fails
// with the reason.
void TFtpClient::onControlTlsFailed(int code, const QByteArray& problem) {
    ++session_;
    connected_ = false;
    tlsFailure_ = problem;
    lastResponse_ = "500 " + tlsFailureText(code, problem);
    statusCode_ = 500;
    errorMessage_ = lastResponse_;
    display("! " + lastResponse_);
    data_.close();
    if (state_ != ftpAborting) {
        setState(ftpNotConnected);
        setState(ftpInternalReady);
    }
    complete(code);
}

// Closes the control connection on purpose; the request ends with `result`
// once the connection is closed.
void TFtpClient::closeAfterReply(int result) {
    result_ = result;
    closeCompletes_ = true;
    control_.close();
}

// An error raised while a reply was being handled (a store step that cannot
// begin): the control connection is dropped and the request fails with it.
void TFtpClient::failInReplyHandling(const QByteArray& message) {
    lastResponse_ = message;
    statusCode_ = 500;
    errorMessage_ = message;
    display("! " + message);
    result_ = 500;
    closeCompletes_ = true;
    if (control_.isOpen()) {
        control_.closeWithError(0);
    } else {
        closeCompletes_ = false;
        complete(500);
    }
}

void TFtpClient::onControlClosed(int errorCode) {
    ++session_;
    connected_ = false;
    display("! Control connection closed");
    if (state_ != ftpAborting) {
        setState(ftpNotConnected);
        setState(ftpInternalReady);
    }
    const bool onPurpose = closeCompletes_;
    closeCompletes_ = false;
    if (requestDone_)
        return;
    if (onPurpose) {
        // The reply that made this side close decides, also when the server
        // closed at the same moment (a "421" greeting, say).
        complete(result_);
    } else if (errorCode != 0) {
        lastResponse_ = "500 Control connection closed - " + SocketErrorDesc(errorCode);
        statusCode_ = 500;
        errorMessage_ = lastResponse_;
        complete(500);
    } else if (rqType_ == ftpQuitAsync || (storeRunning() && store_.finalReply && store_.sendDone)) {
        // QUIT asked for the close; a store whose file went out whole and
        // was confirmed is complete.
        complete(result_);
    } else if (storeRunning() && store_.finalReply) {
        // A confirmation before the whole file went out: the server holds
        // a part, whatever its reply said.
        lastResponse_ = "426 Control connection closed before the whole file was sent";
        statusCode_ = 426;
        errorMessage_ = lastResponse_;
        display("! " + lastResponse_);
        complete(426);
    } else {
        // The server went away before the request's final reply: the request
        // has not succeeded, whatever the last reply said.
        lastResponse_ = "500 Control connection closed - " + SocketErrorDesc(WinSock::ConnectionAborted);
        statusCode_ = 500;
        errorMessage_ = lastResponse_;
        complete(500);
    }
}

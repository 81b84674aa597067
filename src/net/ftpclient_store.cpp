// TFtpClient: stores. A store is a request of several steps: the data
// connection step (PASV, or PORT with a port this side listens on), REST for a
// resumed RestPutAsync, then STOR with the file's bytes on the data
// connection. The file goes out in blocks of 32768 bytes, each handed over
// when the data connection has passed the previous one to the system, so at
// most one block waits in the client.

#include "net/ftpclient.h"

#include "net/ftpaddress.h"
#include "net/socketerror.h"
#include "text/gbk.h"

#include <QTimer>
#include <utility>

namespace {

// Also over TLS: larger blocks were measured no faster there (the server's
// decryption sets the pace).
constexpr qint64 kBlockSize = 32768;
constexpr int kBlocksPerPass = 8;
constexpr int kShutdownWaitMs = 5000;

}  // namespace

void TFtpClient::PutAsync() { startStore(ftpPutAsync); }

void TFtpClient::RestPutAsync() { startStore(ftpRestPutAsync); }

void TFtpClient::startStore(TFtpRequest rqType) {
    checkCanStart(true);
    const bool passive = passiveMode();
    // Over a TLS control connection the data connection is TLS too, and
    // resumes the control connection's session.
    data_.setTls(tlsActive_, tlsActive_ ? control_.tlsSession() : QSslConfiguration(), FromGbk(HostName));
    if (!passive) {
        // The server could not reach a port of this side through a proxy.
        if (const std::optional<NetProxy> proxy = PathProxyFor(Connector.data(), "ftp", HostName))
            raise("Active mode (PORT) cannot go through the proxy " + proxy->label() + "; use passive mode");
        // PORT can only name IPv4 addresses.
        bool isIpv4 = false;
        control_.localAddress().toIPv4Address(&isIpv4);
        if (!isIpv4)
            raise("PORT needs an IPv4 control connection; use passive mode");
        // Listen first: a port that cannot be had is the caller's error.
        try {
            listenPort_ = data_.listen(control_.localAddress(), DataPortRangeStart, DataPortRangeEnd);
        } catch (const QxError& error) {
            raise(error.message());
        }
        display("! Listening for the data connection on port " + QByteArray::number(listenPort_));
    }
    QList<Step> steps;
    // A log-in that skipped PASS has not protected the data yet; the file
    // never goes out in plain text beside a TLS control connection.
    if (tlsActive_ && !dataProtected_)
        steps << &TFtpClient::sendPbsz << &TFtpClient::sendProt;
    steps.append(passive ? &TFtpClient::sendPasv : &TFtpClient::sendPort);
    if (rqType == ftpRestPutAsync && ResumeAt > 0)
        steps.append(&TFtpClient::sendRest);
    steps.append(&TFtpClient::startStoreStep);
    const Step first = steps.takeFirst();
    beginRequest(rqType, steps);
    store_ = StoreProgress{};
    store_.generation = ++storeGeneration_;
    byteCount_ = 0;
    checkAnswered_ = false;
    checkedSize_ = -1;
    forgetAhead();
    aheadName_ = std::exchange(SizeDuringStore, QByteArray());
    const QByteArray check = std::exchange(SizeBeforeStore, QByteArray());
    if (!check.isEmpty()) {
        display("> SIZE " + check);
        checkPending_ = control_.send("SIZE " + check);
    }
    (this->*first)();
}

// ---- Data connection step ------------------------------------------------------

void TFtpClient::sendPasv() {
    passiveReply_.clear();  // a 200 without an address must not reuse an old one
    sendCommand("PASV", {200, 227}, &TFtpClient::onPasvReply);
}

void TFtpClient::onPasvReply(int result) {
    if (result == 0 && statusCode_ == 227) {
        setState(ftpPassiveReady);
        passiveReply_ = lastResponse_;
    }
    finishStep(result);
}

void TFtpClient::sendPort() {
    sendCommand(FtpPortCommand(control_.peerAddress(), control_.localAddress(), listenPort_), {200, 227},
                &TFtpClient::onCommandReply);
}

// ---- REST step -----------------------------------------------------------------

// A positive reply other than 350 still lets the store go on. A 4xx reply
// ends it: a STOR from the offset after a refused REST would have the
// server write the rest of the file as the whole file.
void TFtpClient::sendRest() {
    sendCommand("REST " + QByteArray::number(ResumeAt), {}, &TFtpClient::onRestReply);
}

void TFtpClient::onRestReply(int result) {
    if (result == 0 && statusCode_ >= 400) {
        if (errorMessage_.isEmpty())
            errorMessage_ = lastResponse_;
        failedCommand_ = "REST";
        result = statusCode_;
    }
    finishStep(result);
}

// ---- Store step ------------------------------------------------------------------

void TFtpClient::startStoreStep() {
    rqType_ = ftpPutAsync;
    if (LocalFileName.isEmpty())
        raise("LocalFileName empty");
    if (!connected_)
        raise("STOR/APPE: not connected");
    QByteArray errorText;
    if (!file_.open(LocalFileName, ShareMode, errorText)) {
        failLocally("Unable to open local file " + ToGbk(LocalFileName) + ": " + errorText, 426);
        return;
    }
    store_.fileOpen = true;
    if (ResumeAt > 0 && !file_.seek(ResumeAt)) {
        failLocally("Unable to set resume position in local file", 550);
        return;
    }
    if (!passiveMode()) {
        sendStor();
        return;
    }
    const std::optional<FtpHostPort> target = ParsePassiveReply(passiveReply_);
    if (!target) {
        failLocally("Unable to establish data connection - " + SocketErrorDesc(WinSock::InvalidArgument), 550);
        return;
    }
    // A server that names no address (0.0.0.0) means its own: the address
    // the control connection went to, or (when a proxy resolved the
    // server's name) that name again.
    const bool ownAddress = target->address == QHostAddress(QHostAddress::AnyIPv4);
    NetDial::Target dataTarget{"ftp", target->address.toString().toLatin1(), target->address, target->port};
    if (ownAddress) {
        dataTarget.address = serverAddress_;
        if (dataTarget.address.isNull() && !PathProxyFor(Connector.data(), "ftp", HostName))
            dataTarget.address = control_.peerAddress();
        dataTarget.host = dataTarget.address.isNull() ? HostName : dataTarget.address.toString().toLatin1();
    }
    display("! Connecting data connection to " + dataTarget.host + " port " + QByteArray::number(target->port));
    data_.connectTo(dataTarget);
    // STOR goes out while the data connection is being made: its reply and
    // the connection's set-up then take one round trip together. Servers
    // wait for the data connection after STOR, as they must for a client
    // that connects late; one that refuses (425) gets the plain order, the
    // connection first, from then on.
    if (storBeforeDataConnection_)
        sendStor();
}

void TFtpClient::sendStor() {
    store_.storSent = true;
    sendCommand("STOR " + HostFileName, {150, 125}, &TFtpClient::onStorFirstReply);
}

void TFtpClient::onDataConnected() {
    if (!storeRunning())
        return;
    display("! Data connection established");
    if (passiveMode() && !store_.storSent)
        sendStor();
    else
        startDataTls();
}

// Over TLS the data connection's handshake starts when both the connection
// is up and the server has accepted STOR.
void TFtpClient::startDataTls() {
    if (!storeRunning() || !store_.storAccepted || !data_.isConnected() || store_.dataTlsStarted)
        return;
    store_.dataTlsStarted = true;
    if (!data_.startTlsHandshake())
        onDataTlsFailed(TlsError::HandshakeFailed, "TLS is not available");
}

// The data connection may carry the file: at once when plain, after the
// handshake over TLS.
void TFtpClient::onDataReady() {
    if (!storeRunning())
        return;
    store_.dataUp = true;
    if (data_.isSecured())
        display("! Data connection secured with TLS");
    if (store_.storAccepted)
        startSending();
}

void TFtpClient::onDataConnectFailed(int errorCode) {
    if (!data_.proxyFailure().isEmpty())
        proxyFailure_ = data_.proxyFailure();
    if (storeRunning())
        failLocally("Unable to establish data connection - " +
                        (data_.proxyFailure().isEmpty() ? SocketErrorDesc(errorCode) : data_.proxyFailure()),
                    550);
}

void TFtpClient::onDataTlsFailed(int code, const QByteArray& problem) {
    if (!storeRunning())
        return;
    tlsFailure_ = problem;
    failLocally("Unable to establish data connection - " + tlsFailureText(code, problem), 550);
}

void TFtpClient::onStorFirstReply(int result) {
    if (result != 0 && statusCode_ == 425 && passiveMode() && !store_.dataUp && storBeforeDataConnection_) {
        display("! STOR refused before the data connection was up; connecting first from now on");
        storBeforeDataConnection_ = false;
    }
    if (result != 0) {
        endStoreFiles();
        data_.close();
        complete(result);
        return;
    }
    store_.storAccepted = true;
    successCodes_ = {226, 250};
    onReply_ = &TFtpClient::onStorFinalReply;
    if (!aheadName_.isEmpty()) {
        display("> SIZE " + aheadName_);
        aheadSent_ = control_.send("SIZE " + aheadName_);
    }
    startDataTls();
    if (store_.dataUp)
        startSending();
}

void TFtpClient::onStorFinalReply(int result) {
    if (result != 0) {
        display("! STOR Failed");
        endStoreFiles();
        data_.close();
        complete(result);
        return;
    }
    store_.finalReply = true;
    maybeFinishStore();
}

// ---- Sending -----------------------------------------------------------------------

void TFtpClient::startSending() {
    if (store_.sending || store_.dataClosed)
        return;
    store_.sending = true;
    throttleClock_.start();
    throttleBytes_ = 0;
    block_.resize(kBlockSize);
    sendNextBlock();
}

void TFtpClient::onDataDrained() {
    if (!storeRunning() || !store_.sending)
        return;
    if (store_.shutdownPending) {
        finishSending();
        return;
    }
    sendNextBlock();
}

// Progress first (so it comes once before the first block, after every block
// and with the whole count at the end), then the next block, or the end of the
// file. In plain text, while the system takes each block whole at once, up to
// kBlocksPerPass go out in one pass; then the next pass comes from the event
// loop (a drain report), so that a fast connection neither waits for a pass
// per block nor keeps the event loop from other work.
void TFtpClient::sendNextBlock() {
    const quint64 generation = store_.generation;
    const quint64 session = session_;
    for (int pass = 0; pass < kBlocksPerPass; ++pass) {
        if (!storeRunning() || store_.sendDone || store_.dataClosed)
            return;
        if (throttle())
            return;
        moveDeadline();
        bool abort = false;
        if (OnProgress64) {
            try {
                OnProgress64(*this, byteCount_ + ResumeAt, abort);
            } catch (const std::exception& error) {
                display(QByteArray("! Error in progress handler: ") + error.what());
                abort = true;
            }
        }
        // The handler may have aborted or restarted the client itself.
        if (session != session_ || generation != store_.generation || !storeRunning())
            return;
        if (abort) {
            Abort();
            return;
        }
        QByteArray errorText;
        const qint64 n = file_.read(block_.data(), kBlockSize, errorText);
        if (n < 0) {
            // Sending on would store a file with a hole: the data connection is
            // reset so that the server does not take the part as the whole file.
            data_.close();
            failLocally("Unable to read local file " + ToGbk(LocalFileName) + ": " + errorText, 426);
            return;
        }
        if (n == 0) {
            finishSending();
            return;
        }
        byteCount_ += n;
        throttleBytes_ += n;
        // A short block is most likely the last one: the end of the file is
        // looked for at once rather than after the drain report, so that the
        // server reads the end without waiting for the event loop's passes
        // (which repaint windows first). For a small file that is a good
        // part of its time.
        const bool shortBlock = n < kBlockSize;
        if (!data_.writeNow(block_.constData(), n))
            return;  // the rest follows the drain report
        if (session != session_ || generation != store_.generation)
            return;
        if (shortBlock)
            continue;
    }
    // Taken whole every time: the next pass comes from the event loop.
    data_.reportDrainedLater();
}

// With ftpBandwidthControl a store sends at most BandwidthLimit bytes per
// second, measured over periods of BandwidthSampling milliseconds. True when
// the next block waits for the next period.
bool TFtpClient::throttle() {
    if (!Options.testFlag(ftpBandwidthControl) || BandwidthLimit <= 0)
        return false;
    const qint64 period = std::max(BandwidthSampling, 10);
    const qint64 elapsed = throttleClock_.elapsed();
    if (elapsed >= period) {
        throttleClock_.restart();
        throttleBytes_ = 0;
        return false;
    }
    if (throttleBytes_ < qint64(BandwidthLimit) * period / 1000)
        return false;
    const quint64 generation = store_.generation;
    QTimer::singleShot(int(period - elapsed), this, [this, generation] {
        if (generation == store_.generation)
            sendNextBlock();
    });
    return true;
}

// The end of the file: once the data connection has passed on everything
// (waiting at most 5 seconds), its sending direction is shut, which tells the
// server that the file is complete.
void TFtpClient::finishSending() {
    if (data_.bytesToWrite() > 0 && !store_.shutdownPending) {
        store_.shutdownPending = true;
        const quint64 generation = store_.generation;
        QTimer::singleShot(kShutdownWaitMs, this, [this, generation] {
            if (generation == store_.generation && storeRunning() && !store_.sendDone)
                finishSending();
        });
        return;
    }
    store_.shutdownPending = false;
    store_.sendDone = true;
    data_.shutdownSending();
    display("! File sent: " + QByteArray::number(byteCount_) + " bytes");
}

void TFtpClient::onDataClosed(int errorCode) {
    if (!storeRunning())
        return;
    store_.dataClosed = true;
    store_.dataCloseCode = errorCode;
    display("! Data connection closed" +
            (errorCode ? QByteArray(" - ") + SocketErrorDesc(errorCode) : QByteArray()));
    maybeFinishStore();
}

// Both the final reply and the close of the data connection end the store,
// in whichever order they come; complete() makes sure it ends once.
void TFtpClient::maybeFinishStore() {
    if (!store_.finalReply || !store_.dataClosed)
        return;
    int result = store_.dataCloseCode;
    if (result == 0 && !store_.sendDone) {
        // The server closed the data connection before the whole file went
        // out: what it holds is not the file, whatever its reply says.
        lastResponse_ = "426 Data connection closed before the whole file was sent";
        statusCode_ = 426;
        errorMessage_ = lastResponse_;
        display("! " + lastResponse_);
        result = 426;
    }
    complete(result);
}

void TFtpClient::endStoreFiles() {
    file_.close();
    store_.fileOpen = false;
}

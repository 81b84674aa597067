// TFtpClient: opening the connection and the single-command requests (log-in,
// folder, transfer type, size, quit). Each request is a "send" function and
// the handler of its reply.

#include "net/ftpclient.h"

#include "net/otp.h"
#include "net/socketerror.h"
#include "text/gbk.h"

#include <netdb.h>

namespace {

// The port of the control connection: a number, or a service name as the
// system's services list knows it ("ftp" is 21 also without that list).
quint16 resolvePort(const QByteArray& port) {
    bool isNumber = false;
    const uint number = port.trimmed().toUInt(&isNumber);
    if (isNumber) {
        if (number == 0 || number > 65535)
            throw FtpSocketException("Invalid port number " + port);
        return quint16(number);
    }
    if (const servent* entry = ::getservbyname(port.constData(), "tcp"))
        return ntohs(quint16(entry->s_port));
    if (port == "ftp")
        return 21;
    throw FtpSocketException("Unknown service '" + port + "'");
}

// The address to connect to: IPv4 first, because PORT and PASV only speak
// IPv4.
QHostAddress pickAddress(const QList<QHostAddress>& addresses) {
    for (const QHostAddress& address : addresses)
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

}  // namespace

// ---- Open ------------------------------------------------------------------------

void TFtpClient::OpenAsync() {
    checkCanStart(false);
    if (connected_)
        raise("FTP component already connected");
    if (ConnectionType != ftpDirect)
        raise("Connection type not supported: only direct connections");
    resetConnection();
    control_.setConnector(Connector.data());
    data_.setConnector(Connector.data());
    beginRequest(ftpOpenAsync);
    setState(ftpDnsLookup);
    lookupSession_ = session_;
    const std::optional<NetProxy> proxy = PathProxyFor(Connector.data(), "ftp", HostName);
    if (proxy && proxy->resolvesNames()) {
        // The proxy resolves the server's name: no lookup here.
        display("! Connecting through the proxy " + proxy->label() + ", which resolves " + HostName);
        const quint64 session = session_;
        QMetaObject::invokeMethod(
            this,
            [this, session] {
                if (session == session_ && state_ == ftpDnsLookup)
                    onHostResolved(QHostInfo());
            },
            Qt::QueuedConnection);
        return;
    }
    display("! Resolving " + HostName);
    lookupId_ = QHostInfo::lookupHost(FromGbk(HostName), this, SLOT(hostLookedUp(QHostInfo)));
}

void TFtpClient::hostLookedUp(const QHostInfo& info) {
    // Only the lookup of the running Open counts; one that an abort or a
    // new Open left behind ends here unheard.
    if (info.lookupId() != lookupId_)
        return;
    lookupId_ = -1;
    if (lookupSession_ == session_ && state_ == ftpDnsLookup)
        onHostResolved(info);
}

void TFtpClient::onHostResolved(const QHostInfo& info) {
    const std::optional<NetProxy> proxy = PathProxyFor(Connector.data(), "ftp", HostName);
    const bool resolvedByProxy = proxy && proxy->resolvesNames();
    const QHostAddress address = pickAddress(info.addresses());
    if (!resolvedByProxy && (info.error() != QHostInfo::NoError || address.isNull())) {
        const int code = info.error() != QHostInfo::NoError ? HostLookupErrorCode(info.error()) : WinSock::HostNotFound;
        lastResponse_ = "500 DNS lookup error - " + SocketErrorDesc(code);
        statusCode_ = 500;
        errorMessage_ = lastResponse_;
        display("! " + lastResponse_);
        complete(code);
        return;
    }
    try {
        const quint16 port = resolvePort(Port);
        controlPort_ = port;
        const QHostAddress local(QString::fromLatin1(LocalAddr));
        serverAddress_ = address;
        const QByteArray where = address.isNull() ? HostName : address.toString().toLatin1();
        display("! Connecting to " + where + " port " + QByteArray::number(port) +
                (proxy ? " through the proxy " + proxy->label() : QByteArray()));
        control_.connectTo(NetDial::Target{"ftp", HostName, address, port}, local, TlsMode != TFtpTlsMode::Never);
    } catch (const QxError& error) {
        failLocally("500 " + QByteArray(error.className()) + ": " + error.message(), 500);
        return;
    }
    setState(ftpWaitingBanner);
}

// ---- Log-in, folder, type, size --------------------------------------------------------

void TFtpClient::onCommandReply(int result) { finishStep(result); }

void TFtpClient::UserAsync() {
    checkCanStart(true);
    if (UserName.isEmpty())
        raise("UserName empty");
    beginRequest(ftpUserAsync);
    sendCommand("USER " + UserName, {331, 230}, &TFtpClient::onCommandReply);
}

// A reply to USER that carries an RFC 2289 challenge gets the one-time
// password of the challenge instead of the pass phrase itself.
void TFtpClient::PassAsync() {
    checkCanStart(true);
    if (PassWord.isEmpty())
        raise("Password empty");
    const std::optional<OtpChallenge> challenge = FindOtpChallenge(lastResponse_);
    // Over TLS the log-in is followed by the data protection: PBSZ 0, PROT P.
    beginRequest(ftpPassAsync, tlsActive_ ? QList<Step>{&TFtpClient::sendPbsz, &TFtpClient::sendProt} : QList<Step>{});
    if (challenge) {
        display("! Answering one-time password challenge, sequence " + QByteArray::number(challenge->sequence));
        sendCommand("PASS " + OtpAnswer(*challenge, PassWord), {230, 332}, &TFtpClient::onPassReply);
    } else {
        sendCommand("PASS " + PassWord, {230, 332}, &TFtpClient::onPassReply);
    }
}

// Only a completed log-in (230) goes on to the data protection; 332 asks
// for an account first.
void TFtpClient::onPassReply(int result) {
    if (result == 0 && statusCode_ != 230)
        steps_.clear();
    finishStep(result);
}

// RFC 4217 section 9: TLS protects the data connection only after PBSZ 0
// and PROT P; a server that refuses them fails the request rather than get
// the files in plain text.
void TFtpClient::sendPbsz() { sendCommand("PBSZ 0", {200}, &TFtpClient::onCommandReply); }

void TFtpClient::sendProt() { sendCommand("PROT P", {200}, &TFtpClient::onProtReply); }

void TFtpClient::onProtReply(int result) {
    if (result == 0) {
        dataProtected_ = true;
        display("! Data connections are protected with TLS");
    }
    finishStep(result);
}

void TFtpClient::CwdAsync() {
    checkCanStart(true);
    if (HostDirName.isEmpty())
        raise("HostDirName empty");
    beginRequest(ftpCwdAsync);
    sendCommand("CWD " + HostDirName, {200, 250, 257}, &TFtpClient::onCommandReply);
}

void TFtpClient::TypeSetAsync() {
    checkCanStart(true);
    beginRequest(ftpTypeSetAsync);
    sendCommand(Binary ? "TYPE I" : "TYPE A", {200}, &TFtpClient::onCommandReply);
}

void TFtpClient::SizeAsync() {
    checkCanStart(true);
    beginRequest(ftpSizeAsync);
    sizeResult_ = 0;
    if ((aheadSent_ || aheadAnswered_) && aheadName_ == HostFileName) {
        // Asked during the last store: its reply is taken, or awaited.
        successCodes_ = {213};
        commandVerb_ = "SIZE";
        if (aheadAnswered_) {
            lastResponse_ = aheadLine_;
            statusCode_ = aheadCode_;
            display("< " + aheadLine_);
            forgetAhead();
            onSizeReply(checkReply(statusCode_));
            return;
        }
        aheadSent_ = false;
        aheadName_.clear();
        onReply_ = &TFtpClient::onSizeReply;
        setState(ftpWaitingResponse);
        return;
    }
    sendCommand("SIZE " + HostFileName, {213}, &TFtpClient::onSizeReply);
}

// "213 <size>"
void TFtpClient::onSizeReply(int result) {
    if (result == 0)
        sizeResult_ = FtpSizeReply(lastResponse_);
    finishStep(result);
}

void TFtpClient::SizesAsync(const QList<QByteArray>& names) {
    checkCanStart(true);
    if (names.isEmpty())
        raise("No file names");
    beginRequest(ftpSizeAsync);
    sizeResult_ = 0;
    sizeResults_.clear();
    sizesAsked_ = names.size();
    sendCommand("SIZE " + names.first(), {213}, &TFtpClient::onSizesReply);
    for (qsizetype i = 1; i < names.size() && control_.isOpen(); ++i) {
        display("> SIZE " + names[i]);
        control_.send("SIZE " + names[i]);
    }
}

// Each reply in turn; a name the server reports no size for gets -1.
void TFtpClient::onSizesReply(int result) {
    sizeResults_.append(result == 0 ? FtpSizeReply(lastResponse_) : -1);
    if (result == 0)
        sizeResult_ = sizeResults_.last();
    errorMessage_.clear();
    failedCommand_.clear();
    if (sizeResults_.size() < sizesAsked_) {
        onReply_ = &TFtpClient::onSizesReply;
        setState(ftpWaitingResponse);
        return;
    }
    finishStep(0);
}

// ---- Quit -----------------------------------------------------------------------

void TFtpClient::QuitAsync() {
    checkCanStart(false);
    ResumeAt = 0;
    beginRequest(ftpQuitAsync);
    sendCommand("QUIT", {221}, &TFtpClient::onQuitReply);
}

// Whatever the reply, the client closes; the request ends with the close.
void TFtpClient::onQuitReply(int result) { closeAfterReply(result); }

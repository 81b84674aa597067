#pragma once
// TFtpClient: the event-driven FTP client (RFC 959) with which the upload run
// logs in to the site's FTP server, changes to the upload folder, asks for
// remote file sizes and stores local files, resuming partial uploads.
//
// Everything runs on the thread that owns the client. Each request exists in
// an asynchronous form (...Async, starts it and returns) and, for the
// requests the system waits for, a blocking form that starts it and then
// processes the application's events until the client is idle again. Every
// request that started ends with exactly one OnRequestDone, posted through
// the event loop and therefore never delivered inside the call that started
// the request; completions arrive in the order in which requests ended. A
// completion handler may start the next request, also a blocking one: the
// upload run nests its whole dialogue inside the blocking Open that began it.
//
// Texts on the wire are GBK byte strings and pass through unchanged.
//
// Explicit TLS (RFC 4217), when TlsMode asks for it: after the greeting Open
// sends "AUTH TLS"; on 234 the control connection becomes TLS, verified
// against the system's trust store plus ExtraCaCertificates for HostName,
// before anything else is sent. Pass then adds "PBSZ 0" and "PROT P", and
// every data connection is TLS too, verified the same way and resuming the
// control connection's session. A failed handshake or certificate check
// never falls back to plain text. A refusal of AUTH TLS:
// - 4xx is a refusal for now: Open fails with that code (another try may
//   get TLS), and nothing goes out in plain text;
// - 5xx means "no TLS here" only with IfOffered and only for a server (host
//   and port) that never completed a TLS handshake with a client sharing
//   TlsServers; Open then goes on in plain text. A server that did, and
//   any server with Required, is refused with 534.

#include "net/ftpcontrol.h"
#include "net/ftpdata.h"
#include "net/ftplocalfile.h"
#include "net/ftptls.h"
#include "net/ftptypes.h"
#include "net/netconnector.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QTimer>
#include <functional>

class TFtpClient : public QObject {
    Q_OBJECT
public:
    explicit TFtpClient(QObject* parent = nullptr);
    ~TFtpClient() override;

    // ---- Properties set by the caller -------------------------------------
    QByteArray HostName;        // server name or address
    QByteArray Port = "ftp";    // service name or port number
    QByteArray UserName;
    QByteArray PassWord;        // also the pass phrase of one-time passwords
    QByteArray HostDirName;     // folder for CWD
    QByteArray HostFileName;    // remote file of SIZE and STOR
    QString LocalFileName;      // local file a store sends
    bool Binary = true;         // TYPE I, else TYPE A
    bool Passive = false;       // PASV, else PORT; always PASV unless ftpDirect
    qint64 ResumeAt = 0;        // offset where a store starts; REST argument
    int Timeout = 15;           // seconds a blocking form waits without progress; <= 0: no limit
    TFtpOptions Options = ftpAcceptLF;
    TFtpShareMode ShareMode = ftpShareExclusive;
    TFtpConnectionType ConnectionType = ftpDirect;
    quint32 DataPortRangeStart = 0;  // local ports for active data connections;
    quint32 DataPortRangeEnd = 0;    // both 0: any port
    QByteArray LocalAddr = "0.0.0.0";
    unsigned CodePage = 0;           // 0: texts pass through unchanged
    int BandwidthLimit = 10000;      // bytes per second, with ftpBandwidthControl
    int BandwidthSampling = 1000;    // milliseconds per throttle period
    bool MultiThreaded = false;      // kept for completeness; no effect
    bool DisplayFileFlag = false;    // kept for completeness; no effect
    QByteArray Language = "EN";      // kept for completeness; no effect
    // Never: plain FTP. IfOffered: TLS when the server accepts AUTH TLS.
    // Required: TLS or nothing.
    TFtpTlsMode TlsMode = TFtpTlsMode::Never;
    // Certificates trusted for TLS besides the system's (a private site's
    // own authority, tests).
    QList<QSslCertificate> ExtraCaCertificates;
    // How the control and data connections are made: the proxy (passive
    // mode only: active mode cannot go through one) and the upload limit
    // (see NetConnector). Null: directly and unlimited. BandwidthLimit with
    // ftpBandwidthControl still holds for this client on its own.
    QPointer<NetConnector> Connector;
    // The servers that have completed a TLS handshake, shared by the clients
    // of the program; null: the client keeps its own set for its life.
    FtpTlsServers* TlsServers = nullptr;
    // The asynchronous forms give up as the blocking ones do: a request that
    // shows no progress for Timeout seconds is aborted, its completion
    // carries 426 and ErrorMessage is "426 Timeout". For callers that run
    // several clients side by side and so cannot wait in each.
    bool TimeLimitAsync = false;
    // The next store first sends "SIZE " + this name, without waiting, with
    // its first command (a SIZE changes nothing on the server, and the
    // server answers it first): the caller learns a file's size on the way.
    // Cleared when the store starts; see CheckAnswered and CheckedSize.
    QByteArray SizeBeforeStore;
    // Once the next store's STOR has been accepted (150/125), "SIZE " + this
    // name goes out while the file is sent: a server answers it during the
    // transfer or after its final reply, and either way the answer is ready
    // when SizeAsync asks for that name next, with no round trip of its own.
    // Only 213 and 5xx replies can be told apart from the store's; the
    // client reads them so. Cleared when the store starts.
    QByteArray SizeDuringStore;
    // Adds the PEM certificates of a file to ExtraCaCertificates; returns
    // how many it added (0 when the file holds none or cannot be read).
    int AddTrustedCertificates(const QString& pemFile);

    // ---- Results, readable at any time, also inside handlers ---------------
    int StatusCode() const { return statusCode_; }            // code of the last reply line or local failure
    const QByteArray& LastResponse() const { return lastResponse_; }  // last reply line or failure text
    const QByteArray& ErrorMessage() const { return errorMessage_; }  // text that failed the last request
    // All lines of the last reply (at most 65536 bytes), each ended by CR LF.
    const QByteArray& LastMultiResponse() const { return multiResponse_; }
    qint64 SizeResult() const { return sizeResult_; }          // number of the last 213 reply to SIZE
    // SizesAsync's outcome, one per name in order: the size, or -1 where
    // the server reported none.
    const QList<qint64>& SizeResults() const { return sizeResults_; }
    // SizeBeforeStore's reply of the last store has come; the size it gave
    // (-1: the server reported none).
    bool CheckAnswered() const { return checkAnswered_; }
    qint64 CheckedSize() const { return checkedSize_; }
    bool Connected() const { return connected_; }              // the control connection is up
    qint64 ByteCount() const { return byteCount_; }            // bytes of this store handed to the data connection
    TFtpState State() const { return state_; }
    // The control connection is TLS (since the last Open).
    bool TlsActive() const { return tlsActive_; }
    // The server accepted PROT P: data connections are TLS.
    bool DataProtected() const { return dataProtected_; }
    // Protocol and cipher of the control connection's TLS session.
    const QByteArray& TlsDescription() const { return tlsDescription_; }
    // Why the last TLS handshake failed ("certificate not trusted", "host
    // name mismatch", ...); empty when none failed since the last Open.
    const QByteArray& TlsFailure() const { return tlsFailure_; }
    // Why the last connection failed at the proxy (down, refusing the
    // client, unable to reach the server), in a message that names it;
    // empty when none failed there since the last Open.
    const QByteArray& ProxyFailure() const { return proxyFailure_; }
    TFtpRequest RequestType() const { return rqType_; }
    // A request is running, or its OnRequestDone has not been delivered yet.
    // A blocking form that gave up (its wait timed out) leaves the
    // completion of the request it aborted to come from the event loop.
    bool IsBusy() const { return !requestDone_ || pendingCompletions_ > 0; }
    // The verb of the command whose reply failed the last request ("REST",
    // "AUTH", "STOR", ...); empty when it failed otherwise (a local failure,
    // a lost connection, a time-out).
    const QByteArray& FailedCommand() const { return failedCommand_; }

    // ---- Events ------------------------------------------------------------
    // The end of a request: errCode 0 for success, else the reply code or
    // local failure code that ended it.
    std::function<void(TFtpClient& sender, TFtpRequest rqType, quint16 errCode)> OnRequestDone;
    // Store progress: count = bytes of the file on their way (ResumeAt
    // included). Setting abort runs Abort.
    std::function<void(TFtpClient& sender, qint64 count, bool& abort)> OnProgress64;
    // Diagnostics: "> " + each command sent, "< " + each reply line, "! " +
    // internal steps.
    std::function<void(TFtpClient& sender, QByteArray& msg)> OnDisplay;
    // Every state change, for logs and tests.
    std::function<void(TFtpClient& sender, TFtpState from, TFtpState to)> OnStateChange;

    // ---- Blocking forms ----------------------------------------------------
    // True when the client became idle with result 0. False when the request
    // failed, could not start (the error text is then in ErrorMessage and no
    // completion follows) or the wait timed out (then the connections are
    // closed, ErrorMessage is "426 Timeout" and StatusCode 426).
    bool Open();
    bool User();
    bool Pass();
    bool Cwd();
    bool TypeSet();
    bool Size();
    bool Quit();
    // Closes both connections at once without sending anything; a running
    // request completes (a store with 426 "426 Operation aborted.").
    bool Abort();

    // ---- Asynchronous forms; raise FtpException when they cannot start ------
    void OpenAsync();
    void UserAsync();
    void PassAsync();
    void CwdAsync();
    void TypeSetAsync();
    void SizeAsync();
    // SIZE of several files, the commands sent at once: SIZE changes
    // nothing on the server, so no reply can change the next command, and
    // the replies come in one round trip. Completes as ftpSizeAsync once
    // every reply has come, with 0 whatever each said (see SizeResults);
    // a connection lost first fails it.
    void SizesAsync(const QList<QByteArray>& names);
    void QuitAsync();
    // Stores LocalFileName (from ResumeAt) as HostFileName.
    void PutAsync();
    // The same, after "REST ResumeAt" when ResumeAt > 0.
    void RestPutAsync();

private slots:
    // The result of the name lookup of OpenAsync. A slot rather than a
    // functor: Qt 6.4 frees a functor's holder only when it delivers a
    // result, so a client destroyed during a lookup would leak it.
    void hostLookedUp(const QHostInfo& info);

private:
    using ReplyHandler = void (TFtpClient::*)(int result);
    using Step = void (TFtpClient::*)();

    // Request life cycle (ftpclient.cpp)
    void setState(TFtpState state);
    void display(const QByteArray& text);
    [[noreturn]] void raise(const QByteArray& message);
    void checkCanStart(bool needsConnection);
    void beginRequest(TFtpRequest rqType, QList<Step> laterSteps = {});
    void sendCommand(const QByteArray& command, QList<int> successCodes, ReplyHandler onReply);
    int checkReply(int code);
    void finishStep(int result);
    void complete(int result);
    void failLocally(const QByteArray& text, int code);
    void deliverCompletion(TFtpRequest rqType, quint16 errCode);
    bool waitUntilIdle();
    bool runBlocking(void (TFtpClient::*start)());
    void moveDeadline();
    void giveUpWaiting();
    void checkAsyncDeadline();
    bool passiveMode() const;
    bool storeRunning() const;
    void resetConnection();

    // Control connection events
    void onControlConnected();
    void onControlConnectFailed(int errorCode);
    void onControlReceived();
    void onControlClosed(int errorCode);
    void handleReplyLine(const FtpReplyLine& line);
    void handleGreeting(int code);
    void sendAuthTls();
    void onAuthTlsReply(int result);
    void refuseWithoutTls(const QByteArray& why);
    FtpTlsServers& tlsServers() { return TlsServers ? *TlsServers : ownTlsServers_; }
    void onControlSecured();
    void onControlTlsFailed(int code, const QByteArray& problem);
    static QByteArray tlsFailureText(int code, const QByteArray& problem);
    void failInReplyHandling(const QByteArray& message);
    void closeAfterReply(int result);

    // Open (ftpclient_session.cpp)
    void onHostResolved(const QHostInfo& info);

    // Single-command replies (ftpclient_session.cpp)
    void onCommandReply(int result);
    void onPassReply(int result);
    void sendPbsz();
    void sendProt();
    void onProtReply(int result);
    void onSizeReply(int result);
    void onSizesReply(int result);
    // A reply line that answers the SIZE sent during a store; true when it
    // was taken as such.
    bool takeAheadReply(const FtpReplyLine& line);
    void forgetAhead();
    void onQuitReply(int result);

    // Store steps (ftpclient_store.cpp)
    void startStore(TFtpRequest rqType);
    void sendPasv();
    void onPasvReply(int result);
    void sendPort();
    void sendRest();
    void onRestReply(int result);
    void startStoreStep();
    void sendStor();
    void onStorFirstReply(int result);
    void onStorFinalReply(int result);
    void onDataConnected();
    void onDataReady();
    void startDataTls();
    void onDataConnectFailed(int errorCode);
    void onDataTlsFailed(int code, const QByteArray& problem);
    void onDataDrained();
    void onDataClosed(int errorCode);
    void startSending();
    void sendNextBlock();
    bool throttle();
    void finishSending();
    void maybeFinishStore();
    void endStoreFiles();

    // Connections and the file of a store
    FtpControlConnection control_;
    FtpDataConnection data_;
    FtpLocalFile file_;

    // Request state
    TFtpState state_ = ftpReady;
    TFtpRequest rqType_ = ftpNone;
    bool requestDone_ = true;        // the running request has ended
    int result_ = 0;                 // result of the running or last request
    QList<int> successCodes_;        // empty: every code below 500 succeeds
    ReplyHandler onReply_ = nullptr; // what the next final reply means
    QByteArray commandVerb_;         // verb of the command last sent
    QByteArray failedCommand_;       // verb whose reply failed the request
    quint16 controlPort_ = 0;        // the port of the control connection
    FtpTlsServers ownTlsServers_;
    QList<Step> steps_;              // steps of the request still to run
    bool closeCompletes_ = false;    // closing the control connection on purpose; its close ends the request
    quint64 session_ = 0;            // changes whenever the connections are reset
    int lookupId_ = -1;              // the name lookup of the running Open, -1 when none
    quint64 lookupSession_ = 0;      // session_ when that lookup began
    int pendingCompletions_ = 0;     // posted, not yet delivered

    // Results
    int statusCode_ = 0;
    QByteArray lastResponse_;
    QByteArray errorMessage_;
    QByteArray multiResponse_;
    bool replyEnded_ = true;
    qint64 sizeResult_ = 0;
    QList<qint64> sizeResults_;
    bool checkPending_ = false;   // SizeBeforeStore's reply is still to come
    QByteArray aheadName_;        // SizeDuringStore of the running store
    bool aheadSent_ = false;      // its SIZE went out; the reply is still to come
    bool aheadAnswered_ = false;  // the reply came: aheadLine_ and aheadCode_
    QByteArray aheadLine_;
    int aheadCode_ = 0;
    bool checkAnswered_ = false;
    qint64 checkedSize_ = -1;
    qsizetype sizesAsked_ = 0;
    bool connected_ = false;
    bool tlsActive_ = false;
    bool dataProtected_ = false;
    QByteArray tlsDescription_;
    QByteArray tlsFailure_;
    QByteArray proxyFailure_;
    QByteArray greetingLine_;  // the 220 line, shown again when TLS is not to be had
    QHostAddress serverAddress_;  // the server's resolved address; null when a proxy resolved its name

    // Blocking waits share one deadline; store progress moves it.
    QElapsedTimer clock_;
    qint64 deadlineMs_ = 0;
    QTimer* asyncDeadline_ = nullptr;  // TimeLimitAsync's check

    // The store in progress
    struct StoreProgress {
        bool fileOpen = false;
        bool dataUp = false;         // the data connection may carry the file (TLS: handshake done)
        bool storAccepted = false;   // 150/125 arrived
        bool dataTlsStarted = false;
        bool storSent = false;
        bool sending = false;
        bool sendDone = false;       // end of file reached and the sending direction shut
        bool shutdownPending = false;
        bool finalReply = false;     // 226/250 arrived
        bool dataClosed = false;
        int dataCloseCode = 0;
        quint64 generation = 0;
    } store_;
    quint64 storeGeneration_ = 0;
    QByteArray passiveReply_;
    bool storBeforeDataConnection_ = true;  // passive STOR goes out with the data connection's set-up
    quint16 listenPort_ = 0;
    qint64 byteCount_ = 0;
    QByteArray block_;
    QElapsedTimer throttleClock_;
    qint64 throttleBytes_ = 0;
};

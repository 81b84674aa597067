#pragma once
// The enumerations of the FTP client: its requests, options, sharing modes,
// connection types and states.

#include <QByteArray>
#include <QFlags>

// Every request the FTP client knows, in a fixed order (values 0..76). The
// system uses only a few of them; the values are part of the debug log, so
// the order never changes.
#define QUELLIX_FTP_REQUESTS(X)                                                                              \
    X(None) X(OpenAsync) X(UserAsync) X(PassAsync) X(CwdAsync) X(ConnectAsync) X(ReceiveAsync) X(DirAsync)   \
    X(LsAsync) X(PortAsync) X(GetAsync) X(DirectoryAsync) X(ListAsync) X(SystemAsync) X(SystAsync)           \
    X(QuitAsync) X(AbortXferAsync) X(SizeAsync) X(PutAsync) X(AppendAsync) X(FileSizeAsync) X(RqAbort)       \
    X(MkdAsync) X(RmdAsync) X(RenameAsync) X(DeleAsync) X(RenAsync) X(RenToAsync) X(RenFromAsync)            \
    X(DeleteAsync) X(MkdirAsync) X(RmdirAsync) X(PwdAsync) X(QuoteAsync) X(CDupAsync) X(DoQuoteAsync)        \
    X(TransmitAsync) X(TypeSetAsync) X(RestAsync) X(RestGetAsync) X(RestartGetAsync) X(RestPutAsync)         \
    X(RestartPutAsync) X(MlsdAsync) X(MlstAsync) X(FeatAsync) X(MdtmAsync) X(MdtmYyyyAsync) X(OptsAsync)      \
    X(ModeZAsync) X(ModeSAsync) X(MfmtAsync) X(Md5Async) X(XCrcAsync) X(XMd5Async) X(AuthAsync) X(CccAsync)  \
    X(ProtAsync) X(PbszAsync) X(ClntAsync) X(AlloAsync) X(CombAsync) X(SiteIndexAsync) X(SiteMsgAsync)       \
    X(SiteCmlsdAsync) X(SiteDmlsdAsync) X(SitePswdAsync) X(SiteExecAsync) X(SiteZoneAsync) X(HostAsync)      \
    X(ReinAsync) X(LangAsync) X(AcctAsync) X(StruAsync) X(ModeAsync) X(NoopAsync) X(StatAsync)

enum TFtpRequest : int {
#define QUELLIX_FTP_REQUEST_MEMBER(name) ftp##name,
    QUELLIX_FTP_REQUESTS(QUELLIX_FTP_REQUEST_MEMBER)
#undef QUELLIX_FTP_REQUEST_MEMBER
    ftpRequestCount
};

static_assert(ftpRequestCount == 77);
static_assert(ftpQuitAsync == 15 && ftpAbortXferAsync == 16 && ftpSizeAsync == 17 && ftpPutAsync == 18);
static_assert(ftpTypeSetAsync == 37 && ftpRestPutAsync == 41 && ftpCccAsync == 56 && ftpSiteMsgAsync == 63);

// The short name the debug log prints for a request: the member's name
// without "ftp" ("OpenAsync", "PutAsync"), "none" for ftpNone, "unknown" for
// ftpAbortXferAsync and any value outside the enumeration, and the log's
// historic spellings "CCCAsync" and "SiteMagAsync" for ftpCccAsync and
// ftpSiteMsgAsync.
QByteArray FtpRequestShortName(int request);

// How the local file of a store is shared with other programs while it is
// being sent. On Linux the exclusive and deny-read modes take an exclusive
// advisory lock (flock), deny-write a shared one; the others take none.
enum TFtpShareMode { ftpShareCompat, ftpShareExclusive, ftpShareDenyWrite, ftpShareDenyRead, ftpShareDenyNone };

enum TFtpOption {
    ftpAcceptLF = 0x01,            // a reply line may end at a line feed alone
    ftpNoAutoResumeAt = 0x02,      // a finished store leaves ResumeAt as it was
    ftpWaitUsingSleep = 0x04,      // blocking waits poll at a short interval
    ftpBandwidthControl = 0x08,    // stores keep to BandwidthLimit
    ftpAutoDetectCodePage = 0x10,  // no effect: texts pass through as bytes
};
Q_DECLARE_FLAGS(TFtpOptions, TFtpOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFtpOptions)

// Only ftpDirect is supported; the others make Open fail.
enum TFtpConnectionType { ftpDirect, ftpProxy, ftpSocks4, ftpSocks4A, ftpSocks5 };

enum TFtpState {
    ftpNotConnected,     // the control connection has just closed
    ftpReady,            // idle; a request may start
    ftpInternalReady,    // between two steps of a request, or after a close
    ftpDnsLookup,        // resolving HostName
    ftpWaitingBanner,    // connecting, then waiting for the greeting
    ftpConnected,        // greeting accepted
    ftpWaitingResponse,  // a command was sent; waiting for its final reply
    ftpPassiveReady,     // a 227 reply to PASV arrived
    ftpAborting,         // Abort is closing the connections
};

// "Ready", "WaitingResponse", ...: for logs and test messages.
QByteArray FtpStateName(TFtpState state);

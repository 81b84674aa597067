#include "net/ftptypes.h"

QByteArray FtpRequestShortName(int request) {
    static const char* const kNames[] = {
#define QUELLIX_FTP_REQUEST_NAME(name) #name,
        QUELLIX_FTP_REQUESTS(QUELLIX_FTP_REQUEST_NAME)
#undef QUELLIX_FTP_REQUEST_NAME
    };
    static_assert(sizeof(kNames) / sizeof(kNames[0]) == ftpRequestCount);
    switch (request) {
    case ftpNone: return "none";
    case ftpAbortXferAsync: return "unknown";
    case ftpCccAsync: return "CCCAsync";
    case ftpSiteMsgAsync: return "SiteMagAsync";
    default: break;
    }
    if (request < 0 || request >= ftpRequestCount)
        return "unknown";
    return kNames[request];
}

QByteArray FtpStateName(TFtpState state) {
    switch (state) {
    case ftpNotConnected: return "NotConnected";
    case ftpReady: return "Ready";
    case ftpInternalReady: return "InternalReady";
    case ftpDnsLookup: return "DnsLookup";
    case ftpWaitingBanner: return "WaitingBanner";
    case ftpConnected: return "Connected";
    case ftpWaitingResponse: return "WaitingResponse";
    case ftpPassiveReady: return "PassiveReady";
    case ftpAborting: return "Aborting";
    }
    return "?";
}

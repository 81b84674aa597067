#include "net/httptypes.h"

const char* HttpStateName(THttpState state) {
    switch (state) {
    case httpReady: return "httpReady";
    case httpNotConnected: return "httpNotConnected";
    case httpConnected: return "httpConnected";
    case httpDnsLookup: return "httpDnsLookup";
    case httpDnsLookupDone: return "httpDnsLookupDone";
    case httpWaitingHeader: return "httpWaitingHeader";
    case httpWaitingBody: return "httpWaitingBody";
    case httpBodyReceived: return "httpBodyReceived";
    case httpWaitingProxyConnect: return "httpWaitingProxyConnect";
    case httpClosing: return "httpClosing";
    case httpAborting: return "httpAborting";
    }
    return "?";
}

const char* HttpRequestName(THttpRequest request) {
    switch (request) {
    case httpABORT: return "httpABORT";
    case httpGET: return "httpGET";
    case httpPOST: return "httpPOST";
    case httpPUT: return "httpPUT";
    case httpHEAD: return "httpHEAD";
    case httpCLOSE: return "httpCLOSE";
    }
    return "?";
}

#include "net/ftpfailure.h"

bool IsTransientFtpFailure(int errCode, const QByteArray& lastResponse, const QByteArray& failedCommand) {
    // The client's texts for a local file come with reply-like codes; the
    // file will not become readable by connecting again.
    if (lastResponse.startsWith("Unable to open local file") || lastResponse.startsWith("Unable to read local file") ||
        lastResponse.startsWith("Unable to set resume position"))
        return false;
    // A certificate that is not trusted, or a server that refuses TLS, stays
    // so; and a connection that failed its TLS check must never be retried
    // in a way that could end in plain text.
    if (lastResponse.contains("TLS certificate rejected") || lastResponse.contains("TLS handshake failed") ||
        lastResponse.startsWith("534 "))
        return false;
    if (errCode >= 10000)  // a socket error number
        return true;
    if (errCode >= 400 && errCode < 500 && (failedCommand == "REST" || failedCommand == "AUTH"))
        return true;
    switch (errCode) {
    case 421:  // service not available, closing control connection
    case 425:  // can't open data connection
    case 426:  // connection closed, transfer aborted; also the client's time-out
        return true;
    case 500:
        return lastResponse.startsWith("500 Control connection closed");
    case 550:
        return lastResponse.startsWith("Unable to establish data connection");
    default:
        return false;
    }
}

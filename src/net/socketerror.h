#pragma once
// Socket failures are reported with the classic Windows Sockets error
// numbers and their fixed English texts, whatever the platform's own socket
// layer says: the site's operators and the program's messages know them.

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostInfo>

namespace WinSock {
constexpr int NoError = 0;
constexpr int Interrupted = 10004;       // WSAEINTR
constexpr int AccessDenied = 10013;      // WSAEACCES
constexpr int InvalidArgument = 10022;   // WSAEINVAL
constexpr int TooManyOpenFiles = 10024;  // WSAEMFILE
constexpr int MessageTooLong = 10040;    // WSAEMSGSIZE
constexpr int NotSupported = 10045;      // WSAEOPNOTSUPP
constexpr int AddressInUse = 10048;      // WSAEADDRINUSE
constexpr int AddressNotAvailable = 10049;
constexpr int NetworkDown = 10050;
constexpr int NetworkUnreachable = 10051;
constexpr int ConnectionAborted = 10053;
constexpr int ConnectionReset = 10054;
constexpr int NoBufferSpace = 10055;
constexpr int NotConnected = 10057;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostUnreachable = 10065;   // "No route to host"
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
}  // namespace WinSock

// TLS failures have no Windows Sockets number. They use these numbers from
// outside the classic table (SocketErrorDesc gives "Not a WinSock error" for
// them, so the messages that carry them spell out the failure themselves).
namespace TlsError {
constexpr int CertificateRejected = 12045;  // the server's certificate did not verify
constexpr int HandshakeFailed = 12157;      // no TLS session (protocol failure, no TLS support)
}  // namespace TlsError

// The fixed text of a Windows Sockets error number: 0 "No Error", 10061
// "Connection refused", 11001 "Host not found", ...; any number outside the
// classic table gives "Not a WinSock error".
QByteArray SocketErrorDesc(int code);

// The Windows Sockets number for a Qt socket error. An orderly close by the
// peer (RemoteHostClosedError) is 0.
int SocketErrorCode(QAbstractSocket::SocketError error);

// The Windows Sockets number for a failed name lookup.
int HostLookupErrorCode(QHostInfo::HostInfoError error);

// The Windows Sockets number for a POSIX errno value.
int SocketErrorCodeFromErrno(int posixErrno);

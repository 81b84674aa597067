#pragma once
// Request addresses: splitting a URL into its parts, the request target, the
// Host line's port rule and the document name derived from the path. Pure
// byte-string functions; addresses are GBK bytes and are never re-encoded.

#include <QByteArray>
#include <QByteArrayView>

struct HttpUrlParts {
    QByteArray Protocol;  // lowercased; empty when the URL names none
    QByteArray User;      // user information before the last "@" (never used)
    QByteArray Password;
    QByteArray Host;      // as written; an IPv6 literal keeps its brackets
    QByteArray Port;      // as written; empty when none is given
    QByteArray Path;      // from the first "/" or "?" on (query included), or empty
};

// Splits an absolute address. The protocol is the text before "://" when it
// consists of letters, digits, "+", "-" and "."; otherwise the address has
// none, and one that begins with a single "/" is a bare path. The host part
// runs to the first "/" or "?". A port follows the last ":" after the user
// information (for a bracketed IPv6 literal: after the "]").
HttpUrlParts ParseHttpUrl(QByteArrayView url);

// "443" for "https", "80" for everything else.
QByteArray DefaultHttpPort(const QByteArray& protocol);

// The port number a port text names, or 0 when it is not 1..65535. An empty
// text gives the protocol's default port.
quint16 HttpPortNumber(const QByteArray& portText, const QByteArray& protocol);

// The host name to resolve: an IPv6 literal without its brackets.
QByteArray HostForLookup(const QByteArray& host);

// The path as written on the request line: "/" when empty, the fragment
// ("#..." is only meaningful to the client) removed, and line-break bytes
// percent-encoded so that an address can never add lines to the request.
QByteArray HttpRequestTarget(const QByteArray& path);

// The document name of a request path: the last path segment before any
// "?" or "#", at most 255 bytes (a double-byte GBK character is never cut in
// half), or "document.htm" for a folder address.
QByteArray HttpDocName(const QByteArray& path);

// An HTML reply to an address whose name has the extension ".exe" or none
// is saved as ".htm": the extension is replaced, or appended.
QByteArray HttpDocNameForContentType(const QByteArray& docName, const QByteArray& contentType);

// The absolute address of a request, as Location reports it:
// protocol "://" host, ":" port when it is not the protocol's default, path.
QByteArray HttpAbsoluteAddress(const QByteArray& protocol, const QByteArray& host, const QByteArray& port,
                               const QByteArray& path);

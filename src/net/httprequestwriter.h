#pragma once
// The request header as it goes on the wire: the request line and the
// header lines in their fixed order, ended by an empty line.

#include <QByteArray>

struct HttpRequestHead {
    QByteArray Method;       // "GET", "POST" or "HEAD"
    QByteArray Target;       // request target (see HttpRequestTarget)
    QByteArray Version;      // "1.0" or "1.1"
    QByteArray Accept;       // empty: no Accept line
    QByteArray ContentType;  // empty: no Content-Type line (only POST sets it)
    QByteArray Agent;        // empty: no User-Agent line
    QByteArray Host;         // Host line: host, and ":" port unless the port is "80"
    QByteArray Port;
    bool NoCache = false;        // "Pragma: no-cache"
    qint64 ContentLength = -1;   // written when not negative (POST)
    QByteArray RangeBegin;       // Range line when either is set
    QByteArray RangeEnd;
};

// The whole header block, in one piece for one write. Line breaks inside a
// value are dropped so that no value can add a line of its own.
QByteArray BuildHttpRequestHeader(const HttpRequestHead& head);

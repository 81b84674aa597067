#pragma once
// Where a Location line sends the request: the rules that turn the line's
// value into the next target, relative to the current one.

#include <QByteArray>
#include <QByteArrayView>

// The server a request goes to and the path it asks for. Port is always a
// port text ("80" when the address named none, "443" for "https").
struct HttpTarget {
    QByteArray Protocol;  // "http" when the address named none
    QByteArray Host;
    QByteArray Port;
    QByteArray Path;  // as on the request line (may be empty for "/")
};

// The target of an absolute address, with the defaults filled in.
HttpTarget HttpTargetFromUrl(QByteArrayView url);

struct HttpRelocationTarget {
    bool Valid = false;    // false: the value names no usable target (ignored)
    HttpTarget Target;
    QByteArray Location;   // the new absolute address
};

// Resolves a Location value against the current target:
// - "/path": same server, new path;
// - "//host/path": same protocol, new server;
// - "http://..." or "https://..." (any case): a new address; without a path
//   the request asks for "/";
// - anything else: relative to the folder of the current path (the part
//   before "?" up to and including its last "/" or ":").
// An empty value, or an absolute one without a host, is not a target.
HttpRelocationTarget ResolveHttpRelocation(const HttpTarget& current, QByteArrayView value);

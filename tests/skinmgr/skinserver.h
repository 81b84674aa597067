#pragma once
// A skin server for tests on 127.0.0.1 (free port):
// "<vendor>/plugins/getskin.php?action=downskin&skin_id=NAME" answers the
// package of NAME and "action=downimg" its preview, in byte ranges as a web
// server does (see rangeserver.h); an unknown name gets 404. Every request
// is recorded; `fault` may answer one otherwise.

#include "support/rangeserver.h"

#include <QByteArray>
#include <QMap>
#include <functional>
#include <optional>

class FakeSkinServer {
public:
    FakeSkinServer();

    // VendorHomeUrl of this server, ending in "/".
    QByteArray vendorUrl() const { return server_.url("/vendor/"); }

    QMap<QByteArray, QByteArray> packages;  // by skin name
    QMap<QByteArray, QByteArray> previews;

    // Sees every request with the document it asks for (empty for an
    // unknown name) and may answer it otherwise.
    std::function<std::optional<HttpReply>(const RangeRequest& request, const QByteArray& document)> fault;

    // The requests for "downskin" or "downimg" of `name` (any name when
    // empty).
    QList<RangeRequest> requestsFor(const QByteArray& action, const QByteArray& name = QByteArray()) const;
    int requestCount() const { return int(server_.requests().size()); }

    // The reply a web server gives for `document`: 200 and all of it
    // without Range, 206 with Content-Range for a range; `bodyBytes` >= 0
    // cuts the body after that many bytes.
    static QByteArray RangedReply(const QByteArray& document, const RangeRequest& request, qsizetype bodyBytes = -1);

private:
    RangeServer server_{QByteArray()};
};

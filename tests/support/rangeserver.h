#pragma once
// A document served in byte ranges on the ScriptedServer, as a web server
// answers the multipart downloader: a GET without Range gets 200 and the
// whole document, "Range: bytes=B-E" gets 206 with Content-Range (E past the
// end reads as "to the end"), a range starting beyond the end gets 416.
// Requests are recorded exactly as received, whichever connection they came
// on; ranges arrive in parallel, so tests find them by their first byte.
// A per-test `script` sees every request first and may answer it otherwise
// (a 200 for a range, a redirect, a reply cut short, silence, ...).

#include "support/httpscript.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <functional>
#include <optional>

struct RangeRequest {
    QByteArray bytes;  // the whole request
    QByteArray path;
    qint64 begin = -1;  // -1: no Range line
    qint64 end = -1;
};

class RangeServer {
public:
    explicit RangeServer(QByteArray document);

    QByteArray url(const QByteArray& path = "/file.bin") const;
    quint16 port() const { return server_.port(); }
    const QByteArray& document() const { return document_; }

    std::function<std::optional<HttpReply>(const RangeRequest&)> script;

    const QList<RangeRequest>& requests() const { return requests_; }
    // The ranged requests that asked from byte `begin`.
    QList<RangeRequest> rangesFrom(qint64 begin) const;
    bool waitForRequests(int count, int timeoutMs = 5000);

    // The server's normal reply to a request, whole; `bodyBytes` >= 0 cuts
    // the body after that many bytes (the header still announces all).
    QByteArray normalReply(const RangeRequest& request, qsizetype bodyBytes = -1) const;
    ScriptedServer& server() { return server_; }

private:
    void onData(ScriptedConnection& connection);

    ScriptedServer server_;
    QByteArray document_;
    QList<RangeRequest> requests_;
    QHash<ScriptedConnection*, qsizetype> consumed_;
};

#pragma once
// HTTP exchanges scripted on the ScriptedServer: every request that arrives
// (the header up to its empty line, then as many body bytes as its
// Content-Length names) is recorded exactly as received and answered with
// the next scripted reply, whatever connection it came on. The FTP and
// downloader tests build their dialogues the same way.

#include "support/scriptedserver.h"

#include <QByteArray>
#include <QHash>
#include <QList>

struct HttpReply {
    // What happens after the reply bytes went out.
    enum class Then {
        KeepOpen,  // the connection stays open for the next request
        Close,     // orderly close
        Abort,     // reset
        Trickle,   // after the first trickleAfter bytes, one byte every trickleMs
        Silence,   // nothing is sent at all; the connection stays open
    };
    QByteArray bytes;
    Then then = Then::Close;
    int trickleMs = 0;
    int trickleAfter = 0;
};

// Sends the reply on the connection and does what its ending says.
void PlayHttpReply(ScriptedConnection& connection, const HttpReply& reply);

class HttpScriptedServer {
public:
    HttpScriptedServer();

    quint16 port() const { return server_.port(); }
    // "http://127.0.0.1:<port>" + path
    QByteArray url(const QByteArray& path = "/") const;

    // Queues the reply for the next request.
    void reply(const QByteArray& bytes, HttpReply::Then then = HttpReply::Then::Close, int trickleMs = 0,
               int trickleAfter = 0);

    // The complete requests received so far, in order.
    const QList<QByteArray>& requests() const { return requests_; }
    bool waitForRequests(int count, int timeoutMs = 5000);
    int connectionCount() const { return int(server_.connections().size()); }
    // The connection each request arrived on (0 for the first connection).
    const QList<int>& requestConnections() const { return requestConnections_; }

    ScriptedServer& server() { return server_; }

    // A whole reply: status line, the given header lines, then the body;
    // a Content-Length line is added when `withLength` holds.
    static QByteArray response(const QByteArray& statusLine, const QList<QByteArray>& lines,
                               const QByteArray& body = QByteArray(), bool withLength = true);

private:
    void onData(ScriptedConnection& connection);

    ScriptedServer server_;
    QList<HttpReply> replies_;
    QList<QByteArray> requests_;
    QList<int> requestConnections_;
    QHash<ScriptedConnection*, qsizetype> consumed_;
};

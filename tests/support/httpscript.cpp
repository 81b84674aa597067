#include "support/httpscript.h"

#include <QTest>

HttpScriptedServer::HttpScriptedServer() {
    server_.onConnection = [this](ScriptedConnection& connection) {
        consumed_.insert(&connection, 0);
        connection.onData = [this](ScriptedConnection& c) { onData(c); };
    };
}

QByteArray HttpScriptedServer::url(const QByteArray& path) const {
    return "http://127.0.0.1:" + QByteArray::number(port()) + path;
}

void HttpScriptedServer::reply(const QByteArray& bytes, HttpReply::Then then, int trickleMs, int trickleAfter) {
    replies_.append(HttpReply{bytes, then, trickleMs, trickleAfter});
}

bool HttpScriptedServer::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return requests_.size() >= count; }, timeoutMs);
}

QByteArray HttpScriptedServer::response(const QByteArray& statusLine, const QList<QByteArray>& lines,
                                        const QByteArray& body, bool withLength) {
    QByteArray out = statusLine + "\r\n";
    for (const QByteArray& line : lines)
        out += line + "\r\n";
    if (withLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return out + "\r\n" + body;
}

void HttpScriptedServer::onData(ScriptedConnection& connection) {
    for (;;) {
        const QByteArray& all = connection.received();
        const qsizetype start = consumed_.value(&connection);
        const qsizetype headerEnd = all.indexOf("\r\n\r\n", start);
        if (headerEnd < 0)
            return;
        qsizetype length = 0;
        const QList<QByteArray> lines = all.mid(start, headerEnd - start).split('\n');
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        const qsizetype end = headerEnd + 4 + length;
        if (all.size() < end)
            return;
        consumed_[&connection] = end;
        requests_.append(all.mid(start, end - start));
        requestConnections_.append(int(server_.connections().indexOf(&connection)));
        if (replies_.isEmpty())
            continue;  // no reply scripted: silence
        PlayHttpReply(connection, replies_.takeFirst());
    }
}

void PlayHttpReply(ScriptedConnection& connection, const HttpReply& reply) {
    switch (reply.then) {
    case HttpReply::Then::KeepOpen:
        connection.send(reply.bytes);
        break;
    case HttpReply::Then::Close:
        connection.send(reply.bytes);
        connection.close();
        break;
    case HttpReply::Then::Abort:
        connection.send(reply.bytes);
        if (connection.socket())
            connection.socket()->flush();
        connection.abort();
        break;
    case HttpReply::Then::Trickle:
        connection.send(reply.bytes.left(reply.trickleAfter));
        connection.trickle(reply.bytes.mid(reply.trickleAfter), reply.trickleMs);
        break;
    case HttpReply::Then::Silence:
        break;
    }
}

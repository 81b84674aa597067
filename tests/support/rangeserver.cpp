#include "support/rangeserver.h"

#include <QTest>
#include <algorithm>

RangeServer::RangeServer(QByteArray document) : document_(std::move(document)) {
    server_.onConnection = [this](ScriptedConnection& connection) {
        consumed_.insert(&connection, 0);
        connection.onData = [this](ScriptedConnection& c) { onData(c); };
    };
}

QByteArray RangeServer::url(const QByteArray& path) const {
    return "http://127.0.0.1:" + QByteArray::number(port()) + path;
}

QList<RangeRequest> RangeServer::rangesFrom(qint64 begin) const {
    QList<RangeRequest> found;
    for (const RangeRequest& r : requests_) {
        if (r.begin == begin)
            found.append(r);
    }
    return found;
}

bool RangeServer::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return requests_.size() >= count; }, timeoutMs);
}

QByteArray RangeServer::normalReply(const RangeRequest& request, qsizetype bodyBytes) const {
    const qint64 size = document_.size();
    QByteArray head;
    QByteArray body;
    if (request.begin < 0) {
        head = "HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\n";
        body = document_;
    } else if (request.begin >= size) {
        head = "HTTP/1.1 416 Requested Range Not Satisfiable\r\nContent-Range: bytes */" + QByteArray::number(size) +
               "\r\n";
    } else {
        const qint64 last = request.end < 0 ? size - 1 : std::min(request.end, size - 1);
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(request.begin) + "-" +
               QByteArray::number(last) + "/" + QByteArray::number(size) + "\r\n";
        body = document_.mid(request.begin, last - request.begin + 1);
    }
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    return head + (bodyBytes >= 0 ? body.left(bodyBytes) : body);
}

void RangeServer::onData(ScriptedConnection& connection) {
    for (;;) {
        const QByteArray& all = connection.received();
        const qsizetype start = consumed_.value(&connection);
        const qsizetype headerEnd = all.indexOf("\r\n\r\n", start);
        if (headerEnd < 0)
            return;
        consumed_[&connection] = headerEnd + 4;
        RangeRequest request;
        request.bytes = all.mid(start, headerEnd + 4 - start);
        const QList<QByteArray> lines = request.bytes.split('\n');
        request.path = lines.value(0).split(' ').value(1);
        for (const QByteArray& line : lines) {
            if (line.startsWith("Range: bytes=")) {
                const QList<QByteArray> ends = line.mid(13).trimmed().split('-');
                request.begin = ends.value(0).toLongLong();
                request.end = ends.value(1).isEmpty() ? -1 : ends.value(1).toLongLong();
            }
        }
        requests_.append(request);
        std::optional<HttpReply> reply = script ? script(request) : std::nullopt;
        PlayHttpReply(connection, reply ? *reply : HttpReply{normalReply(request)});
    }
}


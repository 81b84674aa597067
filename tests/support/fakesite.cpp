#include "support/fakesite.h"

#include <QTest>

QByteArray FakeRequest::field(const QByteArray& name) const {
    const QByteArray key = name + "=";
    for (const QByteArray& piece : body.split('&'))
        if (piece.startsWith(key))
            return piece.mid(key.size());
    return QByteArray();
}

FakeSite::FakeSite() {
    server_.onConnection = [this](ScriptedConnection& connection) {
        connection.onData = [this](ScriptedConnection& c) { onData(c); };
    };
}

QByteArray FakeSite::url() const { return "http://127.0.0.1:" + QByteArray::number(server_.port()) + "/"; }

QList<FakeRequest> FakeSite::requestsFor(const QByteArray& action) const {
    QList<FakeRequest> found;
    for (const FakeRequest& r : requests_)
        if (r.field("action") == action)
            found.append(r);
    return found;
}

bool FakeSite::waitForRequests(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return requests_.size() >= count; }, timeoutMs);
}

void FakeSite::onData(ScriptedConnection& connection) {
    const QByteArray& in = connection.received();
    const qsizetype headEnd = in.indexOf("\r\n\r\n");
    if (headEnd < 0 || connection.property("answered").toBool())
        return;
    const QByteArray head = in.left(headEnd);
    qsizetype length = 0;
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.toLower().startsWith("content-length:"))
            length = trimmed.mid(15).trimmed().toLongLong();
    }
    if (in.size() < headEnd + 4 + length)
        return;
    connection.setProperty("answered", true);
    FakeRequest request;
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    request.body = in.mid(headEnd + 4, length);
    request.head = head;
    requests_.append(request);
    const FakeReply reply = handler ? handler(request) : FakeReply{};
    if (reply.silent)
        return;
    QByteArray out = "HTTP/1.0 " + QByteArray::number(reply.status) + (reply.status == 200 ? " OK" : " Error") +
                     "\r\nContent-Type: " + reply.contentType + "\r\nContent-Length: " +
                     QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n" + reply.headers + "\r\n";
    if (request.method != "HEAD")
        out += reply.body;
    connection.send(out);
    connection.close();
}

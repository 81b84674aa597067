#pragma once
// A scripted web site for window tests: an HTTP server on 127.0.0.1 (free
// port) that records every request (method, path, body bytes) and answers
// each with the reply the test's handler gives, then closes the connection.
// Odd replies (refusals, broken settings, strange listings) are easy to
// script here; the demo site serves the realistic ones.

#include "support/scriptedserver.h"

#include <QByteArray>
#include <QList>
#include <functional>

struct FakeRequest {
    QByteArray method;
    QByteArray path;  // with the query
    QByteArray body;
    QByteArray head;  // request line and header lines as received
    // The value of a form field of the body (the first "name=" up to "&").
    QByteArray field(const QByteArray& name) const;
};

struct FakeReply {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/plain; charset=gbk";
    // Leave the connection open without answering.
    bool silent = false;
    // Further header lines, each ending in CR LF (e.g. "Location: ...\r\n").
    QByteArray headers = {};
};

class FakeSite : public QObject {
    Q_OBJECT
public:
    FakeSite();

    // The site address, ending in "/".
    QByteArray url() const;
    quint16 port() const { return server_.port(); }

    // Answers every request; the default answers 200 with an empty body.
    std::function<FakeReply(const FakeRequest&)> handler;

    const QList<FakeRequest>& requests() const { return requests_; }
    // The requests whose body holds "action=<action>".
    QList<FakeRequest> requestsFor(const QByteArray& action) const;
    bool waitForRequests(int count, int timeoutMs = 5000);

private:
    void onData(ScriptedConnection& connection);

    ScriptedServer server_;
    QList<FakeRequest> requests_;
};

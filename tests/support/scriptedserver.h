#pragma once
// A scripted TCP server for wire-level tests: listens on 127.0.0.1 on a
// free port, records every byte each connection sends, and lets the test
// play back exact reply bytes and faults (close, abort, silence, trickle).
// Protocol-specific scripting (HTTP exchanges, FTP dialogues) is built on top.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>

class ScriptedConnection : public QObject {
    Q_OBJECT
public:
    explicit ScriptedConnection(QTcpSocket* socket, QObject* parent = nullptr);

    // Everything received on this connection so far.
    const QByteArray& received() const { return received_; }
    bool isOpen() const;

    void send(const QByteArray& bytes);
    // Orderly close after pending bytes went out.
    void close();
    // Immediate close (a reset for the peer).
    void abort();
    // Sends `bytes` one byte every `intervalMs` milliseconds.
    void trickle(const QByteArray& bytes, int intervalMs);

    // Runs the event loop until `received()` contains `pattern`; false on
    // time-out.
    bool waitForReceived(const QByteArray& pattern, int timeoutMs = 5000);
    // Runs the event loop until the peer has closed; false on time-out.
    bool waitForPeerClose(int timeoutMs = 5000);

    // Called after new bytes arrived (received() already holds them).
    std::function<void(ScriptedConnection&)> onData;
    QTcpSocket* socket() const { return socket_; }

private:
    QPointer<QTcpSocket> socket_;
    QByteArray received_;
    bool peerClosed_ = false;
};

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    ScriptedServer();
    quint16 port() const { return server_.serverPort(); }

    // Called for every accepted connection, in order.
    std::function<void(ScriptedConnection&)> onConnection;

    const QList<ScriptedConnection*>& connections() const { return connections_; }
    // Runs the event loop until `count` connections were accepted.
    bool waitForConnections(int count, int timeoutMs = 5000);
    // All bytes received, connection after connection.
    QByteArray allReceived() const;
    void stopListening() { server_.close(); }

private:
    QTcpServer server_;
    QList<ScriptedConnection*> connections_;
};

// A port on 127.0.0.1 that nothing listens on (for refused connections).
quint16 UnusedPort();

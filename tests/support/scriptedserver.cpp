#include "support/scriptedserver.h"

#include <QTest>
#include <QTimer>

ScriptedConnection::ScriptedConnection(QTcpSocket* socket, QObject* parent) : QObject(parent), socket_(socket) {
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        received_ += socket_->readAll();
        if (onData)
            onData(*this);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] { peerClosed_ = true; });
}

bool ScriptedConnection::isOpen() const { return socket_ && socket_->state() == QAbstractSocket::ConnectedState; }

void ScriptedConnection::send(const QByteArray& bytes) {
    if (socket_)
        socket_->write(bytes);
}

void ScriptedConnection::close() {
    if (socket_)
        socket_->disconnectFromHost();
}

void ScriptedConnection::abort() {
    if (socket_)
        socket_->abort();
}

void ScriptedConnection::trickle(const QByteArray& bytes, int intervalMs) {
    auto* timer = new QTimer(this);
    auto remaining = std::make_shared<QByteArray>(bytes);
    connect(timer, &QTimer::timeout, this, [this, timer, remaining] {
        if (remaining->isEmpty() || !isOpen()) {
            timer->deleteLater();
            return;
        }
        send(remaining->left(1));
        remaining->remove(0, 1);
    });
    timer->start(intervalMs);
}

bool ScriptedConnection::waitForReceived(const QByteArray& pattern, int timeoutMs) {
    return QTest::qWaitFor([&] { return received_.contains(pattern); }, timeoutMs);
}

bool ScriptedConnection::waitForPeerClose(int timeoutMs) {
    return QTest::qWaitFor([&] { return peerClosed_ || !socket_; }, timeoutMs);
}

ScriptedServer::ScriptedServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto* connection = new ScriptedConnection(socket, this);
            connections_.append(connection);
            if (onConnection)
                onConnection(*connection);
        }
    });
}

bool ScriptedServer::waitForConnections(int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return connections_.size() >= count; }, timeoutMs);
}

QByteArray ScriptedServer::allReceived() const {
    QByteArray all;
    for (const ScriptedConnection* c : connections_)
        all += c->received();
    return all;
}

quint16 UnusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

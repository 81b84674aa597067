#pragma once
// A scripted FTP server on 127.0.0.1 for wire-level tests of the FTP client.
// The control side is a ScriptedServer: every command line is recorded and
// answered from a table of replies that tests override per verb. The data
// side works on plain sockets, so that a test decides exactly when the
// server's end of a data connection closes relative to its replies.

#include "support/scriptedserver.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <functional>

// The server's end of one data connection: reads everything until the
// client's end of file.
class ScriptedDataPeer : public QObject {
    Q_OBJECT
public:
    explicit ScriptedDataPeer(int fd, QObject* parent = nullptr);
    ~ScriptedDataPeer() override;

    const QByteArray& received() const { return received_; }
    bool atEnd() const { return atEnd_; }   // the client shut down or closed its end
    bool isOpen() const { return fd_ >= 0; }
    void close();                           // orderly close of the server's end
    void reset();                           // close with a reset

    std::function<void(ScriptedDataPeer&)> onEnd;

private:
    void readAvailable();

    int fd_;
    QSocketNotifier* notifier_;
    QByteArray received_;
    bool atEnd_ = false;
};

class ScriptedFtpServer : public QObject {
    Q_OBJECT
public:
    ScriptedFtpServer();
    quint16 port() const { return control_.port(); }

    // Sent on every new control connection.
    QByteArray greeting = "220 Scripted FTP server ready\r\n";
    // The greeting of control connection N (1 for the first) instead of
    // `greeting`; an empty text: that connection is never greeted.
    QMap<int, QByteArray> greetingOf;
    // Reply bytes per verb, overriding the defaults (USER 331, PASS 230,
    // CWD 250, TYPE 200, SIZE 550, PASV 227 to the data listener, PORT 200,
    // REST 350, STOR 150 then 226, QUIT 221 and close, others 502). An
    // empty text means the server stays silent.
    QMap<QByteArray, QByteArray> replies;
    // Runs before the table; true when it has handled the command itself.
    std::function<bool(ScriptedFtpServer&, const QByteArray& verb, const QByteArray& argument)> onCommand;

    // How a store ends once the client has shut down its sending direction:
    // by default the final STOR reply goes out, then the data connection is
    // closed. A handler set here decides instead (see sendFinalReply and
    // closeData).
    std::function<void(ScriptedFtpServer&)> onStoreEnd;
    QByteArray storFinalReply = "226 Transfer complete.\r\n";

    // The latest control connection and what it received.
    ScriptedConnection* control() const;
    void send(const QByteArray& bytes);
    // Command lines of the latest control connection, without line ends.
    QList<QByteArray> commands() const;
    // The same of control connection N (1 for the first).
    QList<QByteArray> commandsOn(int connection) const;
    // Every byte received on every control connection.
    QByteArray transcript() const { return control_.allReceived(); }
    int controlConnections() const { return int(control_.connections().size()); }
    bool waitForCommand(const QByteArray& line, int timeoutMs = 5000) const;

    // The data connection of the latest transfer, and what it carried.
    ScriptedDataPeer* data() const { return data_; }
    QByteArray stored() const { return data_ ? data_->received() : QByteArray(); }
    // The port a PORT command named (active mode).
    quint16 activePort() const { return activePort_; }
    quint16 passivePort() const { return passiveListener_->serverPort(); }

    void sendFinalReply() { send(storFinalReply); }
    void closeData() {
        if (data_)
            data_->close();
    }

private:
    void handleLine(const QByteArray& line);
    void defaultReply(const QByteArray& verb, const QByteArray& argument);
    void startStore();
    void adoptData(int fd);
    void dropData();

    ScriptedServer control_;
    QTcpServer* passiveListener_ = nullptr;
    QPointer<ScriptedDataPeer> data_;
    bool storePending_ = false;  // STOR came before the data connection
    quint32 activeAddress_ = 0;
    quint16 activePort_ = 0;
    QMap<ScriptedConnection*, qsizetype> parsed_;  // bytes of each connection already handled
};

#pragma once
// What the FTP client's control and data connections share: one TCP socket
// whose establishment, failure and close are reported once each, with the
// classic Windows Sockets error numbers.

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <functional>

class FtpSocketLink : public QObject {
    Q_OBJECT
public:
    explicit FtpSocketLink(QObject* parent = nullptr) : QObject(parent) {}

    std::function<void()> onConnected;
    std::function<void(int errorCode)> onConnectFailed;
    // Once per connection that was up; 0 for an orderly close.
    std::function<void(int errorCode)> onClosed;

protected:
    // Takes `socket` as the link's socket and watches it: a connect that
    // fails gives onConnectFailed, a connection that was up and closes gives
    // onClosed with the last error seen.
    void watch(QTcpSocket* socket, bool alreadyConnected);
    // Connected and not yet closed.
    bool isUp() const;
    // Closes the socket at once, without notification.
    void dropSocket();
    // Reports the close once and drops the socket.
    void reportClosed(int errorCode);

    QPointer<QTcpSocket> socket_;
    bool up_ = false;  // the connection was established
    bool closeReported_ = false;
    int lastError_ = 0;
};

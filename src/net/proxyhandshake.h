#pragma once
// The client's side of the two ways through a proxy, as plain classes fed
// with the proxy's bytes: SOCKS5 (RFC 1928, with the user/password method of
// RFC 1929) and the HTTP CONNECT tunnel (RFC 9110, 9.3.6). Each says what to
// send and how much of the reply it needs next; the socket's owner reads
// exactly that (a number of bytes, or one line), so that the bytes after the
// handshake, such as an FTP server's greeting, stay in the socket for the
// connection's user.

#include "net/netproxy.h"

#include <QByteArray>
#include <QHostAddress>

// Why a proxy handshake failed: a Windows Sockets number, the reason in
// words, and whether the proxy itself was fine but could not reach the
// target ("Connection refused" from the target, as the proxy reports it).
struct ProxyFailure {
    int code = 0;
    QByteArray reason;
    bool atTarget = false;
};

// Where the tunnel goes: the target's name, and its address when it is
// already known (then the address is sent, unless the proxy resolves
// names and a name is given).
struct ProxyTarget {
    QByteArray host;
    QHostAddress address;
    quint16 port = 0;
};

enum class ProxyStep { More, Done, Failed };

class Socks5Handshake {
public:
    Socks5Handshake(const NetProxy& proxy, const ProxyTarget& target);

    // The first bytes to send: the offered authentication methods.
    QByteArray greeting() const;
    // How many bytes the reply in progress needs next; read exactly these.
    qsizetype needed() const { return needed_; }
    // Takes exactly needed() bytes. With More, `send` holds what goes out
    // next (often nothing); with Failed, failure() says why.
    ProxyStep take(const QByteArray& bytes, QByteArray& send);
    const ProxyFailure& failure() const { return failure_; }

private:
    enum class Phase { Method, Auth, ReplyHead, ReplyRest, Done };
    ProxyStep failWith(int code, const QByteArray& reason, bool atTarget = false);
    QByteArray connectRequest() const;
    QHostAddress targetAddress() const;
    bool sendsName() const;

    NetProxy proxy_;
    ProxyTarget target_;
    Phase phase_ = Phase::Method;
    qsizetype needed_ = 2;
    ProxyFailure failure_;
};

class HttpConnectHandshake {
public:
    // Lines longer than this, or more header lines than kMaxLines, end the
    // handshake: a proxy that sends them is not speaking HTTP.
    static constexpr qsizetype kMaxLine = 8192;
    static constexpr int kMaxLines = 100;

    HttpConnectHandshake(const NetProxy& proxy, const ProxyTarget& target);

    // "CONNECT host:port HTTP/1.1" with its Host line and, when the proxy has
    // a user, Basic credentials (RFC 7617) sent at once.
    QByteArray request() const;
    // Takes one line of the reply, its line end included.
    ProxyStep takeLine(const QByteArray& line);
    const ProxyFailure& failure() const { return failure_; }
    int statusCode() const { return status_; }

private:
    ProxyStep failWith(int code, const QByteArray& reason, bool atTarget = false);
    QByteArray authority() const;

    NetProxy proxy_;
    ProxyTarget target_;
    int lines_ = 0;
    int status_ = 0;
    bool interim_ = false;  // inside a 1xx reply
    QByteArray statusText_;
    ProxyFailure failure_;
};

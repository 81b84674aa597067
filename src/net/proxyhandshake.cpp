#include "net/proxyhandshake.h"

#include "net/socketerror.h"
#include "text/base64.h"
#include "text/gbk.h"

namespace {

constexpr char kSocksVersion = 0x05;
constexpr char kNoAuthentication = 0x00;
constexpr char kUserPassword = 0x02;
constexpr unsigned char kNoAcceptableMethod = 0xFF;
constexpr char kConnect = 0x01;
constexpr char kAddressIpv4 = 0x01;
constexpr char kAddressName = 0x03;
constexpr char kAddressIpv6 = 0x04;

QByteArray portBytes(quint16 port) {
    QByteArray bytes;
    bytes.append(char(port >> 8));
    bytes.append(char(port & 0xFF));
    return bytes;
}

// The reply codes of RFC 1928, 6: the reason, its Windows Sockets number,
// and whether the proxy itself accepted the client.
ProxyFailure socksReplyFailure(unsigned char reply) {
    switch (reply) {
    case 1: return {WinSock::ConnectionAborted, "general SOCKS server failure (SOCKS5 reply 1)", false};
    case 2: return {WinSock::AccessDenied, "connection not allowed by ruleset (SOCKS5 reply 2)", false};
    case 3: return {WinSock::NetworkUnreachable, "Network unreachable (SOCKS5 reply 3)", true};
    case 4: return {WinSock::HostUnreachable, "Host unreachable (SOCKS5 reply 4)", true};
    case 5: return {WinSock::ConnectionRefused, "Connection refused (SOCKS5 reply 5)", true};
    case 6: return {WinSock::TimedOut, "TTL expired (SOCKS5 reply 6)", true};
    case 7: return {WinSock::NotSupported, "Command not supported (SOCKS5 reply 7)", false};
    case 8: return {WinSock::NotSupported, "Address type not supported (SOCKS5 reply 8)", false};
    default: break;
    }
    return {WinSock::ConnectionAborted, "unknown SOCKS5 reply " + QByteArray::number(reply), false};
}

bool isAddressLiteral(const QByteArray& host) { return !QHostAddress(QString::fromLatin1(host)).isNull(); }

}  // namespace

// ---- SOCKS5 ---------------------------------------------------------------------

Socks5Handshake::Socks5Handshake(const NetProxy& proxy, const ProxyTarget& target)
    : proxy_(proxy), target_(target) {}

QByteArray Socks5Handshake::greeting() const {
    QByteArray bytes;
    bytes.append(kSocksVersion);
    if (proxy_.user.isEmpty()) {
        bytes.append(char(1));
        bytes.append(kNoAuthentication);
    } else {
        bytes.append(char(2));
        bytes.append(kNoAuthentication);
        bytes.append(kUserPassword);
    }
    return bytes;
}

ProxyStep Socks5Handshake::failWith(int code, const QByteArray& reason, bool atTarget) {
    failure_ = ProxyFailure{code, reason, atTarget};
    phase_ = Phase::Done;
    needed_ = 0;
    return ProxyStep::Failed;
}

QHostAddress Socks5Handshake::targetAddress() const {
    return target_.address.isNull() ? QHostAddress(QString::fromLatin1(target_.host)) : target_.address;
}

// A name goes to a proxy that resolves names, and to any proxy when no
// address is known (it may still resolve it).
bool Socks5Handshake::sendsName() const {
    return !target_.host.isEmpty() && !isAddressLiteral(target_.host) &&
           (proxy_.resolvesNames() || targetAddress().isNull());
}

QByteArray Socks5Handshake::connectRequest() const {
    QByteArray bytes;
    bytes.append(kSocksVersion);
    bytes.append(kConnect);
    bytes.append(char(0));
    const QHostAddress address = targetAddress();
    if (sendsName()) {
        bytes.append(kAddressName);
        bytes.append(char(target_.host.size()));
        bytes.append(target_.host);
    } else {
        bool isIpv4 = false;
        const quint32 v4 = address.toIPv4Address(&isIpv4);
        if (isIpv4) {
            bytes.append(kAddressIpv4);
            for (int shift = 24; shift >= 0; shift -= 8)
                bytes.append(char((v4 >> shift) & 0xFF));
        } else {
            bytes.append(kAddressIpv6);
            const Q_IPV6ADDR v6 = address.toIPv6Address();
            bytes.append(reinterpret_cast<const char*>(v6.c), 16);
        }
    }
    bytes.append(portBytes(target_.port));
    return bytes;
}

ProxyStep Socks5Handshake::take(const QByteArray& bytes, QByteArray& send) {
    send.clear();
    const auto byteAt = [&bytes](qsizetype i) { return static_cast<unsigned char>(bytes.at(i)); };
    switch (phase_) {
    case Phase::Method: {
        if (byteAt(0) != 5)
            return failWith(WinSock::ConnectionAborted, "不是 SOCKS5 代理"_gbk);
        const unsigned char method = byteAt(1);
        if (method == kNoAuthentication) {
            // fall through to the request
        } else if (method == kUserPassword && !proxy_.user.isEmpty()) {
            if (proxy_.user.size() > 255 || proxy_.password.size() > 255)
                return failWith(WinSock::InvalidArgument, "用户名或密码超过 255 字节"_gbk);
            send.append(char(0x01));
            send.append(char(proxy_.user.size()));
            send.append(proxy_.user);
            send.append(char(proxy_.password.size()));
            send.append(proxy_.password);
            phase_ = Phase::Auth;
            needed_ = 2;
            return ProxyStep::More;
        } else if (method == kNoAcceptableMethod && proxy_.user.isEmpty()) {
            return failWith(WinSock::AccessDenied, "需要用户名和密码"_gbk);
        } else {
            return failWith(WinSock::AccessDenied, "不接受所提供的认证方式"_gbk);
        }
        break;
    }
    case Phase::Auth:
        // RFC 1929, 2: any status but 0 is a refusal, and the proxy closes.
        if (byteAt(1) != 0)
            return failWith(WinSock::AccessDenied, "用户名或密码被拒绝"_gbk);
        break;
    case Phase::ReplyHead: {
        if (byteAt(0) != 5)
            return failWith(WinSock::ConnectionAborted, "不是 SOCKS5 代理"_gbk);
        if (byteAt(1) != 0) {
            failure_ = socksReplyFailure(byteAt(1));
            phase_ = Phase::Done;
            needed_ = 0;
            return ProxyStep::Failed;
        }
        // The bound address follows: its length depends on its type; for
        // a name its first byte is the length.
        switch (byteAt(3)) {
        case kAddressIpv4: needed_ = 4 + 2; break;
        case kAddressIpv6: needed_ = 16 + 2; break;
        case kAddressName:
            needed_ = 1;
            phase_ = Phase::ReplyRest;
            return ProxyStep::More;
        default: return failWith(WinSock::ConnectionAborted, "不是 SOCKS5 代理"_gbk);
        }
        phase_ = Phase::Done;
        return ProxyStep::More;
    }
    case Phase::ReplyRest:
        // The length of a bound name; the name and the port follow.
        needed_ = byteAt(0) + 2;
        phase_ = Phase::Done;
        return ProxyStep::More;
    case Phase::Done:
        needed_ = 0;
        return ProxyStep::Done;
    }
    // Authenticated (or no authentication): the CONNECT request.
    if (sendsName() && target_.host.size() > 255)
        return failWith(WinSock::InvalidArgument, "host name longer than 255 bytes");
    send = connectRequest();
    phase_ = Phase::ReplyHead;
    needed_ = 4;
    return ProxyStep::More;
}

// ---- HTTP CONNECT ----------------------------------------------------------------

HttpConnectHandshake::HttpConnectHandshake(const NetProxy& proxy, const ProxyTarget& target)
    : proxy_(proxy), target_(target) {}

QByteArray HttpConnectHandshake::authority() const {
    QByteArray host = target_.host;
    if (host.isEmpty() || (!proxy_.resolvesNames() && !target_.address.isNull()))
        host = target_.address.toString().toLatin1();
    if (host.contains(':') && !host.startsWith('['))
        host = "[" + host + "]";
    return host + ":" + QByteArray::number(target_.port);
}

QByteArray HttpConnectHandshake::request() const {
    const QByteArray target = authority();
    QByteArray text = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n";
    if (!proxy_.user.isEmpty())
        text += "Proxy-Authorization: Basic " + Base64Encode(proxy_.user + ":" + proxy_.password) + "\r\n";
    text += "\r\n";
    return text;
}

ProxyStep HttpConnectHandshake::failWith(int code, const QByteArray& reason, bool atTarget) {
    failure_ = ProxyFailure{code, reason, atTarget};
    return ProxyStep::Failed;
}

ProxyStep HttpConnectHandshake::takeLine(const QByteArray& rawLine) {
    if (rawLine.size() > kMaxLine || ++lines_ > kMaxLines)
        return failWith(WinSock::ConnectionAborted, "不是 HTTP 代理"_gbk);
    QByteArray line = rawLine;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (interim_) {
        // The lines of an interim reply, up to its empty line.
        interim_ = !line.isEmpty();
        return ProxyStep::More;
    }
    if (status_ == 0) {
        // "HTTP/1.1 200 Connection established"
        if (!line.startsWith("HTTP/1.") || line.size() < 12 || line.at(8) != ' ')
            return failWith(WinSock::ConnectionAborted, "不是 HTTP 代理"_gbk);
        bool ok = false;
        status_ = line.mid(9, 3).toInt(&ok);
        if (!ok || status_ < 100)
            return failWith(WinSock::ConnectionAborted, "不是 HTTP 代理"_gbk);
        statusText_ = line.mid(9).trimmed();
        if (status_ < 200) {
            status_ = 0;  // an interim reply; the real one follows
            interim_ = true;
        }
        return ProxyStep::More;
    }
    if (!line.isEmpty())
        return ProxyStep::More;
    // The reply's header has ended. RFC 9110, 9.3.6: any 2xx turns the
    // connection into the tunnel.
    if (status_ >= 200 && status_ < 300)
        return ProxyStep::Done;
    // tinyproxy answers a CONNECT with wrong credentials with 401: for a
    // tunnel request it can only mean the proxy's credentials.
    if (status_ == 407 || status_ == 401)
        return failWith(WinSock::AccessDenied,
                        (proxy_.user.isEmpty() ? "需要用户名和密码"_gbk : "用户名或密码被拒绝"_gbk) + " (" +
                            statusText_ + ")");
    if (status_ == 403)
        return failWith(WinSock::AccessDenied, statusText_);
    if (status_ >= 500)
        return failWith(status_ == 504 ? WinSock::TimedOut : WinSock::ConnectionRefused, statusText_, true);
    return failWith(WinSock::ConnectionAborted, statusText_);
}

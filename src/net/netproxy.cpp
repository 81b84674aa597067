#include "net/netproxy.h"

#include <QHostAddress>
#include <QtGlobal>

namespace {

QByteArray schemeName(NetProxyType type) {
    switch (type) {
    case NetProxyType::Socks5: return "socks5";
    case NetProxyType::Socks5h: return "socks5h";
    case NetProxyType::Http: break;
    }
    return "http";
}

bool fail(QByteArray* error, const QByteArray& reason) {
    if (error)
        *error = reason;
    return false;
}

// The host and port of "host", "host:port", "[v6]", "[v6]:port".
bool splitHostPort(const QByteArray& text, QByteArray& host, QByteArray& port, QByteArray* error) {
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close < 0)
            return fail(error, "unclosed '[' in the proxy address");
        host = text.mid(1, close - 1);
        const QByteArray rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':'))
            return fail(error, "unexpected text after ']' in the proxy address");
        port = rest.mid(1);
        return true;
    }
    const qsizetype colon = text.lastIndexOf(':');
    if (colon >= 0 && text.indexOf(':') != colon)
        host = text;  // a bare IPv6 address without a port
    else if (colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
    } else {
        host = text;
    }
    return true;
}

QByteArray firstSet(const char* lower, const char* upper) {
    const QByteArray value = qgetenv(lower).trimmed();
    return value.isEmpty() ? qgetenv(upper).trimmed() : value;
}

}  // namespace

QByteArray NetProxy::label() const {
    const QByteArray shownHost = host.contains(':') ? "[" + host + "]" : host;
    return shownHost + ":" + QByteArray::number(port);
}

QByteArray NetProxy::url() const { return schemeName(type) + "://" + label(); }

std::optional<NetProxy> ParseProxyUrl(const QByteArray& input, QByteArray* error) {
    QByteArray text = input.trimmed();
    NetProxy proxy;
    const qsizetype schemeEnd = text.indexOf("://");
    if (schemeEnd >= 0) {
        const QByteArray scheme = text.left(schemeEnd).toLower();
        if (scheme == "http")
            proxy.type = NetProxyType::Http;
        else if (scheme == "socks5")
            proxy.type = NetProxyType::Socks5;
        else if (scheme == "socks5h" || scheme == "socks")
            proxy.type = NetProxyType::Socks5h;
        else {
            fail(error, "unsupported proxy scheme '" + scheme + "' (http, socks5 or socks5h)");
            return std::nullopt;
        }
        text = text.mid(schemeEnd + 3);
    }
    // A trailing "/" (as in "http://proxy:3128/") names nothing more.
    const qsizetype slash = text.indexOf('/');
    if (slash >= 0) {
        if (!text.mid(slash).trimmed().replace('/', "").isEmpty()) {
            fail(error, "a proxy address has no path");
            return std::nullopt;
        }
        text.truncate(slash);
    }
    const qsizetype at = text.lastIndexOf('@');
    if (at >= 0) {
        const QByteArray userInfo = text.left(at);
        text = text.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(':');
        proxy.user = QByteArray::fromPercentEncoding(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            proxy.password = QByteArray::fromPercentEncoding(userInfo.mid(colon + 1));
    }
    QByteArray host, port;
    if (!splitHostPort(text, host, port, error))
        return std::nullopt;
    if (host.isEmpty()) {
        fail(error, "no host in the proxy address");
        return std::nullopt;
    }
    proxy.host = host;
    if (port.isEmpty()) {
        proxy.port = proxy.type == NetProxyType::Http ? 8080 : 1080;
    } else {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        if (!ok || number == 0 || number > 65535) {
            fail(error, "bad port '" + port + "' in the proxy address");
            return std::nullopt;
        }
        proxy.port = quint16(number);
    }
    return proxy;
}

NetProxyEnvironment NetProxyEnvironment::fromProcess() {
    NetProxyEnvironment env;
    env.http = firstSet("http_proxy", "HTTP_PROXY");
    env.https = firstSet("https_proxy", "HTTPS_PROXY");
    env.ftp = firstSet("ftp_proxy", "FTP_PROXY");
    env.all = firstSet("all_proxy", "ALL_PROXY");
    env.noProxy = firstSet("no_proxy", "NO_PROXY");
    return env;
}

bool NoProxyMatches(const QByteArray& noProxy, const QByteArray& hostText) {
    QByteArray host = hostText.toLower();
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    while (host.endsWith('.'))
        host.chop(1);
    const QHostAddress hostAddress(QString::fromLatin1(host));
    QByteArray list = noProxy;
    list.replace(' ', ',').replace('\t', ',');
    for (QByteArray entry : list.split(',')) {
        entry = entry.trimmed().toLower();
        if (entry.isEmpty())
            continue;
        if (entry == "*")
            return true;
        // An address, a network or a name, each perhaps with a port.
        QByteArray bare = entry;
        if (bare.startsWith('[')) {
            const qsizetype close = bare.indexOf(']');
            bare = close > 0 ? bare.mid(1, close - 1) : QByteArray();
        } else if (bare.count(':') == 1) {
            bare = bare.left(bare.indexOf(':'));
        }
        if (bare.contains('/')) {
            const auto network = QHostAddress::parseSubnet(QString::fromLatin1(bare));
            if (!network.first.isNull() && !hostAddress.isNull() && hostAddress.isInSubnet(network))
                return true;
            continue;
        }
        const QHostAddress entryAddress(QString::fromLatin1(bare));
        if (!entryAddress.isNull()) {
            if (!hostAddress.isNull() && entryAddress.isEqual(hostAddress, QHostAddress::TolerantConversion))
                return true;
            continue;
        }
        if (bare.startsWith("*."))
            bare = bare.mid(1);
        if (bare.startsWith('.'))
            bare = bare.mid(1);
        while (bare.endsWith('.'))
            bare.chop(1);
        if (bare.isEmpty())
            continue;
        if (host == bare || host.endsWith("." + bare))
            return true;
    }
    return false;
}

std::optional<NetProxy> EnvironmentProxyFor(const NetProxyEnvironment& env, const QByteArray& scheme,
                                            const QByteArray& host, QByteArray* error) {
    if (NoProxyMatches(env.noProxy, host))
        return std::nullopt;
    QByteArray chosen;
    if (scheme == "https")
        chosen = env.https;
    else if (scheme == "http")
        chosen = env.http;
    else if (scheme == "ftp")
        chosen = env.ftp;
    if (chosen.isEmpty())
        chosen = env.all;
    if (chosen.isEmpty())
        return std::nullopt;
    return ParseProxyUrl(chosen, error);
}

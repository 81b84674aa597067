#pragma once
// Proxies as the user names them: a proxy address ("http://host:port",
// "socks5://user@host", "socks5h://host:1080"), the proxy variables of the
// environment (http_proxy, https_proxy, ftp_proxy, all_proxy and no_proxy,
// also in upper case) and the choice of a proxy for one connection. Pure
// functions over byte strings; nothing here opens a connection.

#include <QByteArray>
#include <QList>
#include <optional>

enum class NetProxyType {
    Http,     // an HTTP proxy; every connection is a CONNECT tunnel
    Socks5,   // SOCKS5, host names resolved here
    Socks5h,  // SOCKS5, host names resolved by the proxy
};

struct NetProxy {
    NetProxyType type = NetProxyType::Http;
    QByteArray host;  // name or address (an IPv6 address without brackets)
    quint16 port = 0;
    QByteArray user;  // empty: no authentication
    QByteArray password;

    // The target's name goes to the proxy, which resolves it: no lookup
    // here (the client may not even be able to resolve outside names).
    bool resolvesNames() const { return type != NetProxyType::Socks5; }
    // "host:port" ("[::1]:1080"), the name the proxy's messages carry.
    QByteArray label() const;
    // "socks5h://host:port" without user or password.
    QByteArray url() const;

    bool operator==(const NetProxy&) const = default;
};

// Reads "scheme://[user[:password]@]host[:port][/]" with the schemes
// "http", "socks5", "socks5h" (also "socks" for socks5h, as browsers and
// curl take it); an address without a scheme is an HTTP proxy. The port
// defaults to 1080 for SOCKS and 8080 for HTTP. User and password are
// percent-decoded. Empty with the reason in `error` when the text is not
// such an address ("unsupported proxy scheme 'https'", "no host", ...).
std::optional<NetProxy> ParseProxyUrl(const QByteArray& text, QByteArray* error = nullptr);

// The proxy variables of an environment.
struct NetProxyEnvironment {
    QByteArray http;   // http_proxy, else HTTP_PROXY
    QByteArray https;  // https_proxy, else HTTPS_PROXY
    QByteArray ftp;    // ftp_proxy, else FTP_PROXY
    QByteArray all;    // all_proxy, else ALL_PROXY
    QByteArray noProxy;  // no_proxy, else NO_PROXY

    // The variables of this process.
    static NetProxyEnvironment fromProcess();
    bool operator==(const NetProxyEnvironment&) const = default;
};

// Whether `host` is exempt from proxies by a no_proxy list: entries
// separated by commas or blanks; "*" exempts every host; a name exempts
// itself and its subdomains (a leading "." or "*." changes nothing); an
// address exempts itself, and "address/bits" a whole network. A ":port"
// after an entry is ignored. Names compare without regard to case.
bool NoProxyMatches(const QByteArray& noProxy, const QByteArray& host);

// The proxy the environment names for a connection of `scheme` ("http",
// "https", "ftp") to `host`: the scheme's variable, else all_proxy, unless
// no_proxy exempts the host. A variable that does not read as a proxy
// address is passed over, with its reason in `error`.
std::optional<NetProxy> EnvironmentProxyFor(const NetProxyEnvironment& env, const QByteArray& scheme,
                                            const QByteArray& host, QByteArray* error = nullptr);

#pragma once
// The network options of the commands that talk to servers (site ..., http,
// get, ftp-put): the proxy and the rate limit, turned into the connector of
// the run.
//   --proxy URL                 http://, socks5:// (names resolved here) or
//                               socks5h:// (names resolved by the proxy),
//                               with an optional user ("socks5h://ann@host");
//                               "" or "none": no proxy. Without the option the
//                               variables http_proxy, https_proxy, ftp_proxy,
//                               all_proxy and no_proxy (also upper case) say.
//   --proxy-password-file FILE  the proxy user's password (first line); else
//                               QUELLIX_PROXY_PASSWORD. A password written
//                               into --proxy works but is visible to every
//                               user of the machine (ps): a warning says so.
//   --limit-rate RATE           bytes per second for uploads and downloads
//                               each, the whole run together; K and M
//                               suffixes (1024 and 1048576); 0: none.

#include "command.h"
#include "net/netconnector.h"

#include <QByteArray>
#include <memory>
#include <optional>

struct NetworkOptions {
    QByteArray proxy;
    bool hasProxy = false;
    QByteArray proxyPasswordFile;
    bool hasProxyPasswordFile = false;
    QByteArray limitRate;
    bool hasLimitRate = false;
};

inline constexpr char kNetworkUsage[] = "[--proxy URL] [--proxy-password-file FILE] [--limit-rate RATE]";

// Takes the network options out of `args`, wherever they stand. False with
// the reason in `error` when one misses its value.
bool TakeNetworkOptions(ToolArgs& args, NetworkOptions& options, QByteArray& error);

// "250K" = 256000, "1.5M" = 1572864, "800" = 800 bytes per second; empty
// when the text is not a rate.
std::optional<qint64> ParseRate(const QByteArray& text);

// The connector of the run; null with the reason in `error` for a bad
// proxy address, rate or password file. `command` names the command in the
// warning about a password on the command line.
std::unique_ptr<NetConnector> MakeConnector(const NetworkOptions& options, const QByteArray& command,
                                            QByteArray& error);

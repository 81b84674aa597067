#pragma once
// How every request of the program to the site is made: addresses are the
// site address followed by a script path; form bodies are name=value pairs
// joined by "&" with nothing escaped (names, tokens, file names and paths go
// as their GBK bytes); every request gets fresh send and receive streams,
// which the completion handler frees (TakeSiteReply) or, when the client goes
// before its request ended, the client frees as their parent; a reply counts
// only with error code 0 and status 200, and is then read as lines.

#include "net/httpcli.h"

#include <QByteArray>
#include <QList>
#include <optional>

// SiteUrl + "plugins/quellix_client/client_main.php".
QByteArray ClientMainUrl(const QByteArray& siteUrl);
// RegisterSiteUrl + "plugins/quellix_client/client_sub.php".
QByteArray ClientSubUrl(const QByteArray& registerSiteUrl);

// Raises the client's busy error when it has a request in progress, before
// anything of the request is prepared.
void RefuseIfBusy(THttpCli& http);

enum class SitePostMode { Async, Blocking };

// Posts `body` to `url` with fresh streams and the form content type. The
// blocking mode returns when the completion handler has run, and raises as
// THttpCli::Post does.
void PostSiteForm(THttpCli& http, const QByteArray& url, const QByteArray& body, SitePostMode mode);

// For a completion handler: frees the request's streams and gives the reply
// lines, or nothing when the request failed or the status is not 200.
std::optional<QList<QByteArray>> TakeSiteReply(THttpCli& http, quint16 errCode);

#pragma once
// The web views (the about page, the news strip) take the program's proxy
// too. They do not go through NetConnector: Qt WebEngine's network stack
// follows Qt's application proxy (QNetworkProxy::setApplicationProxy), and,
// when Qt is told to use the system's configuration, the proxy variables of
// the environment, no_proxy included. The program's own sockets are not
// affected: they make their own way and turn Qt's proxy off.
//
// What the engine does not do: SOCKS5 with a user and password (the page
// then fails to load), and proxies for pages on this machine (localhost,
// 127.0.0.0/8, [::1]), which it always reaches directly.

#include <QNetworkProxy>

class NetConnector;

// The application proxy that stands for the connector's proxy settings
// (NoProxy without one, DefaultProxy for the system's).
QNetworkProxy WebViewProxy(const NetConnector& connector);

// Sets Qt's application proxy (and its use of the system's configuration)
// from the connector: pages loaded from now on go that way.
void UseConnectorForWebViews(const NetConnector& connector);

#include "about/webproxy.h"

#include "net/netconnector.h"

#include <QNetworkProxyFactory>

QNetworkProxy WebViewProxy(const NetConnector& connector) {
    const NetConnectorSettings& settings = connector.Settings();
    switch (settings.proxyMode) {
    case NetConnectorSettings::ProxyMode::None: return QNetworkProxy(QNetworkProxy::NoProxy);
    case NetConnectorSettings::ProxyMode::System: return QNetworkProxy(QNetworkProxy::DefaultProxy);
    case NetConnectorSettings::ProxyMode::Fixed: break;
    }
    const NetProxy& proxy = settings.proxy;
    const QNetworkProxy::ProxyType type =
        proxy.type == NetProxyType::Http ? QNetworkProxy::HttpProxy : QNetworkProxy::Socks5Proxy;
    return QNetworkProxy(type, QString::fromLatin1(proxy.host), proxy.port, QString::fromUtf8(proxy.user),
                         QString::fromUtf8(proxy.password));
}

void UseConnectorForWebViews(const NetConnector& connector) {
    const bool system = connector.Settings().proxyMode == NetConnectorSettings::ProxyMode::System;
    QNetworkProxyFactory::setUseSystemConfiguration(system);
    QNetworkProxy::setApplicationProxy(WebViewProxy(connector));
}

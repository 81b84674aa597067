#include "net/transferpath.h"

#include <QUrl>

NetConnectorSettings ConnectorSettingsFrom(const TransferOptions& options, const QByteArray& proxyPassword,
                                           const NetProxyEnvironment& environment) {
    NetConnectorSettings settings;
    settings.uploadBytesPerSecond = qint64(options.uploadLimitKBps) * 1024;
    settings.downloadBytesPerSecond = qint64(options.downloadLimitKBps) * 1024;
    const ProxyOptions& proxy = options.proxy;
    switch (proxy.mode) {
    case ProxyMode::None: break;
    case ProxyMode::System:
        settings.proxyMode = NetConnectorSettings::ProxyMode::System;
        settings.environment = environment;
        break;
    case ProxyMode::Http:
    case ProxyMode::Socks5: {
        const QString host = proxy.host.trimmed();
        if (host.isEmpty())
            break;
        settings.proxyMode = NetConnectorSettings::ProxyMode::Fixed;
        NetProxy& p = settings.proxy;
        p.type = proxy.mode == ProxyMode::Http ? NetProxyType::Http : NetProxyType::Socks5h;
        // An address stays as written; a name goes out in its ASCII form.
        QString bare = host;
        if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
            bare = bare.mid(1, bare.size() - 2);
        p.host = bare.contains(QLatin1Char(':')) ? bare.toLatin1() : QUrl::toAce(bare);
        p.port = proxy.port != 0 ? proxy.port : (p.type == NetProxyType::Http ? 8080 : 1080);
        p.user = proxy.user.toUtf8();
        p.password = proxy.user.isEmpty() ? QByteArray() : proxyPassword;
        break;
    }
    }
    return settings;
}

void ApplyTransferOptions(NetConnector& connector, const TransferOptions& options, const QByteArray& proxyPassword) {
    connector.Apply(ConnectorSettingsFrom(options, proxyPassword));
}

#include "net/netconnector.h"

NetConnector::NetConnector(QObject* parent) : QObject(parent), upload_(this), download_(this) {}

NetConnector::NetConnector(const NetConnectorSettings& settings, QObject* parent) : NetConnector(parent) {
    Apply(settings);
}

void NetConnector::Apply(const NetConnectorSettings& settings) {
    const bool changed = !(settings == settings_);
    settings_ = settings;
    upload_.SetRate(settings.uploadBytesPerSecond);
    download_.SetRate(settings.downloadBytesPerSecond);
    if (changed)
        emit SettingsChanged();
}

std::optional<NetProxy> NetConnector::ProxyFor(const QByteArray& scheme, const QByteArray& host) const {
    switch (settings_.proxyMode) {
    case NetConnectorSettings::ProxyMode::None: return std::nullopt;
    case NetConnectorSettings::ProxyMode::Fixed: return settings_.proxy;
    case NetConnectorSettings::ProxyMode::System: break;
    }
    return EnvironmentProxyFor(settings_.environment, scheme, host);
}

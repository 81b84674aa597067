#include "net_options.h"

#include <QFile>
#include <cmath>
#include <cstdlib>

bool TakeNetworkOptions(ToolArgs& args, NetworkOptions& o, QByteArray& error) {
    bool missing = false;
    o.hasProxy = args.takeOption("--proxy", o.proxy, missing) || o.hasProxy;
    if (missing) {
        error = "--proxy needs a value";
        return false;
    }
    o.hasProxyPasswordFile = args.takeOption("--proxy-password-file", o.proxyPasswordFile, missing) ||
                             o.hasProxyPasswordFile;
    if (missing) {
        error = "--proxy-password-file needs a value";
        return false;
    }
    o.hasLimitRate = args.takeOption("--limit-rate", o.limitRate, missing) || o.hasLimitRate;
    if (missing) {
        error = "--limit-rate needs a value";
        return false;
    }
    return true;
}

std::optional<qint64> ParseRate(const QByteArray& input) {
    QByteArray text = input.trimmed();
    double factor = 1;
    if (text.endsWith('K') || text.endsWith('k')) {
        factor = 1024;
        text.chop(1);
    } else if (text.endsWith('M') || text.endsWith('m')) {
        factor = 1024 * 1024;
        text.chop(1);
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0 || value * factor > 1e15)
        return std::nullopt;
    return qint64(std::llround(value * factor));
}

std::unique_ptr<NetConnector> MakeConnector(const NetworkOptions& o, const QByteArray& command, QByteArray& error) {
    NetConnectorSettings settings;
    if (o.hasLimitRate) {
        const std::optional<qint64> rate = ParseRate(o.limitRate);
        if (!rate) {
            error = "--limit-rate: '" + o.limitRate + "' is not a rate (say 500K or 2M)";
            return nullptr;
        }
        settings.uploadBytesPerSecond = *rate;
        settings.downloadBytesPerSecond = *rate;
    }
    const QByteArray proxyText = o.proxy.trimmed();
    if (!o.hasProxy) {
        settings.proxyMode = NetConnectorSettings::ProxyMode::System;
        settings.environment = NetProxyEnvironment::fromProcess();
    } else if (!proxyText.isEmpty() && proxyText != "none") {
        QByteArray why;
        const std::optional<NetProxy> proxy = ParseProxyUrl(proxyText, &why);
        if (!proxy) {
            error = "--proxy: " + why;
            return nullptr;
        }
        settings.proxyMode = NetConnectorSettings::ProxyMode::Fixed;
        settings.proxy = *proxy;
        QByteArray password;
        bool fromElsewhere = false;
        if (o.hasProxyPasswordFile) {
            QFile file(QString::fromLocal8Bit(o.proxyPasswordFile));
            if (!file.open(QIODevice::ReadOnly)) {
                error = "can't read the proxy password file " + o.proxyPasswordFile + ": " + file.errorString().toUtf8();
                return nullptr;
            }
            password = file.readLine();
            while (password.endsWith('\n') || password.endsWith('\r'))
                password.chop(1);
            fromElsewhere = true;
        } else if (const char* fromEnvironment = std::getenv("QUELLIX_PROXY_PASSWORD")) {
            password = fromEnvironment;
            fromElsewhere = true;
        }
        if (fromElsewhere) {
            settings.proxy.password = password;
        } else if (!proxy->password.isEmpty()) {
            WriteErr("quellix-tool " + command +
                     ": warning: the proxy password on the command line can be read by other users of this machine; "
                     "use QUELLIX_PROXY_PASSWORD or --proxy-password-file\n");
        }
    }
    return std::make_unique<NetConnector>(settings);
}

#include "config/transferoptions.h"

#include <QSettings>
#include <algorithm>

namespace {

int readInt(const QSettings& ini, const char* key, int fallback, int low, int high) {
    bool ok = false;
    const int value = ini.value(QLatin1String(key)).toInt(&ok);
    return ok ? std::clamp(value, low, high) : fallback;
}

bool readBool(const QSettings& ini, const char* key, bool fallback) {
    const QString text = ini.value(QLatin1String(key)).toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return fallback;
}

// A rate in KB/s: at most 4 TB/s, which no link carries.
constexpr int kMaxRateKBps = 1 << 30;

}  // namespace

QByteArray ProxyModeName(ProxyMode mode) {
    switch (mode) {
    case ProxyMode::System: return "system";
    case ProxyMode::Http: return "http";
    case ProxyMode::Socks5: return "socks5";
    case ProxyMode::None: break;
    }
    return "none";
}

ProxyMode ProxyModeFromName(const QByteArray& name) {
    const QByteArray word = name.trimmed().toLower();
    if (word == "system")
        return ProxyMode::System;
    if (word == "http")
        return ProxyMode::Http;
    if (word == "socks5")
        return ProxyMode::Socks5;
    return ProxyMode::None;
}

TransferOptions ReadTransferOptions(const LocalFiles& files) { return ReadTransferOptions(files.optionsFile()); }

TransferOptions ReadTransferOptions(const QString& optionsFile) {
    const TransferOptions defaults;
    TransferOptions o;
    const QSettings ini(optionsFile, QSettings::IniFormat);
    o.parallelUploads = readInt(ini, "transfer/parallelUploads", defaults.parallelUploads, 1,
                                TransferOptions::kMaxParallel);
    o.parallelDownloads = readInt(ini, "transfer/parallelDownloads", defaults.parallelDownloads, 1,
                                  TransferOptions::kMaxParallel);
    o.downloadConnections = readInt(ini, "transfer/downloadConnections", defaults.downloadConnections, 1,
                                    TransferOptions::kMaxConnections);
    o.resumeDownloadsAtLogin = readBool(ini, "transfer/resumeDownloadsAtLogin", defaults.resumeDownloadsAtLogin);
    o.uploadLimitKBps = readInt(ini, "limits/uploadKBps", 0, 0, kMaxRateKBps);
    o.downloadLimitKBps = readInt(ini, "limits/downloadKBps", 0, 0, kMaxRateKBps);

    o.proxy.mode = ProxyModeFromName(ini.value(QStringLiteral("proxy/mode")).toString().toLatin1());
    o.proxy.host = ini.value(QStringLiteral("proxy/host")).toString().trimmed();
    o.proxy.port = quint16(readInt(ini, "proxy/port", 0, 0, 65535));
    o.proxy.user = ini.value(QStringLiteral("proxy/user")).toString();

    o.rememberPassword = readBool(ini, "login/rememberPassword", defaults.rememberPassword);
    o.autoLogin = readBool(ini, "login/autoLogin", defaults.autoLogin);
    o.savedAccount = ini.value(QStringLiteral("login/account")).toString();

    o.notifications = readBool(ini, "desktop/notifications", defaults.notifications);
    return o;
}

bool WriteTransferOptions(const LocalFiles& files, const TransferOptions& options) {
    files.makeDataFolder();
    return WriteTransferOptions(files.optionsFile(), options);
}

bool WriteTransferOptions(const QString& optionsFile, const TransferOptions& o) {
    QSettings ini(optionsFile, QSettings::IniFormat);
    ini.setValue(QStringLiteral("transfer/parallelUploads"), o.parallelUploads);
    ini.setValue(QStringLiteral("transfer/parallelDownloads"), o.parallelDownloads);
    ini.setValue(QStringLiteral("transfer/downloadConnections"), o.downloadConnections);
    ini.setValue(QStringLiteral("transfer/resumeDownloadsAtLogin"), o.resumeDownloadsAtLogin);
    ini.setValue(QStringLiteral("limits/uploadKBps"), o.uploadLimitKBps);
    ini.setValue(QStringLiteral("limits/downloadKBps"), o.downloadLimitKBps);
    ini.setValue(QStringLiteral("proxy/mode"), QString::fromLatin1(ProxyModeName(o.proxy.mode)));
    ini.setValue(QStringLiteral("proxy/host"), o.proxy.host);
    ini.setValue(QStringLiteral("proxy/port"), int(o.proxy.port));
    ini.setValue(QStringLiteral("proxy/user"), o.proxy.user);
    ini.setValue(QStringLiteral("login/rememberPassword"), o.rememberPassword);
    ini.setValue(QStringLiteral("login/autoLogin"), o.autoLogin);
    ini.setValue(QStringLiteral("login/account"), o.savedAccount);
    ini.setValue(QStringLiteral("desktop/notifications"), o.notifications);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

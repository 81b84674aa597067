#include "options/transfersettings.h"

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The largest rate the options file keeps, KB/s.
constexpr qint64 kMaxRateKBps = 1 << 30;

// A rate as typed: digits only (blanks around allowed), empty for none.
std::optional<int> readRate(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return 0;
    for (const QChar c : text)
        if (!c.isDigit() || c.unicode() > 0x7f)
            return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value > kMaxRateKBps)
        return std::nullopt;
    return int(value);
}

bool hasProxyServer(ProxyMode mode) { return mode == ProxyMode::Http || mode == ProxyMode::Socks5; }
}  // namespace

TransferSettings::TransferSettings(const LocalFiles& files, SecretStore* store) : files_(files), store_(store) {}

TransferSettingsFields TransferSettings::FieldsOf(const TransferOptions& o) {
    TransferSettingsFields f;
    f.parallelUploads = o.parallelUploads;
    f.parallelDownloads = o.parallelDownloads;
    f.downloadConnections = o.downloadConnections;
    f.resumeDownloadsAtLogin = o.resumeDownloadsAtLogin;
    f.proxyMode = o.proxy.mode;
    f.proxyHost = o.proxy.host;
    f.proxyPort = o.proxy.port ? QString::number(o.proxy.port) : QString();
    f.proxyUser = o.proxy.user;
    f.uploadLimit = QString::number(o.uploadLimitKBps);
    f.downloadLimit = QString::number(o.downloadLimitKBps);
    f.notifications = o.notifications;
    return f;
}

TransferSettings::Checked TransferSettings::Check(const TransferSettingsFields& f, const TransferOptions& current) {
    Checked checked;
    const auto fail = [&checked](const QString& field, const QString& error) {
        checked.field = field;
        checked.error = error;
        return checked;
    };
    const auto inRange = [](int value, int high) { return value >= 1 && value <= high; };
    if (!inRange(f.parallelUploads, TransferOptions::kMaxParallel))
        return fail(u("同时上传文件数"), u("同时上传文件数应在 1 到 8 之间。"));
    if (!inRange(f.parallelDownloads, TransferOptions::kMaxParallel))
        return fail(u("同时下载文件数"), u("同时下载文件数应在 1 到 8 之间。"));
    if (!inRange(f.downloadConnections, TransferOptions::kMaxConnections))
        return fail(u("下载连接数"), u("下载连接数应在 1 到 8 之间。"));

    TransferOptions o = current;
    o.parallelUploads = f.parallelUploads;
    o.parallelDownloads = f.parallelDownloads;
    o.downloadConnections = f.downloadConnections;
    o.resumeDownloadsAtLogin = f.resumeDownloadsAtLogin;
    o.notifications = f.notifications;

    const std::optional<int> up = readRate(f.uploadLimit);
    if (!up)
        return fail(u("上传限速"), u("上传限速应为 0 或正整数（KB/s，0 表示不限速）。"));
    const std::optional<int> down = readRate(f.downloadLimit);
    if (!down)
        return fail(u("下载限速"), u("下载限速应为 0 或正整数（KB/s，0 表示不限速）。"));
    o.uploadLimitKBps = *up;
    o.downloadLimitKBps = *down;

    o.proxy = ProxyOptions{};
    o.proxy.mode = f.proxyMode;
    if (hasProxyServer(f.proxyMode)) {
        const QString host = f.proxyHost.trimmed();
        if (host.isEmpty() || host.contains(QLatin1Char(' ')) || host.contains(QLatin1Char('/')))
            return fail(u("代理服务器"), u("请填写代理服务器的主机名或地址。"));
        bool ok = false;
        const int port = f.proxyPort.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return fail(u("端口"), u("代理服务器的端口应在 1 到 65535 之间。"));
        o.proxy.host = host;
        o.proxy.port = quint16(port);
        o.proxy.user = f.proxyUser.trimmed();
        if (o.proxy.user.isEmpty() && f.proxyPasswordEdited && !f.proxyPassword.isEmpty())
            return fail(u("用户名"), u("代理密码需要与用户名一起填写。"));
    }
    checked.options = o;
    return checked;
}

QByteArray TransferSettings::ProxyPassword(const ProxyOptions& proxy) {
    if (!hasProxyServer(proxy.mode) || proxy.user.isEmpty() || !store_ || !store_->Available())
        return {};
    const SecretStore::Result read = store_->Read(ProxyPasswordKey(proxy.host, proxy.port, proxy.user));
    return read.ok() ? read.secret : QByteArray();
}

QString TransferSettings::Save(const TransferOptions& before, const TransferOptions& options,
                               const TransferSettingsFields& fields, QByteArray& proxyPassword) {
    QString trouble;
    if (!WriteTransferOptions(files_, options))
        trouble = u("设置未能写入 ") + files_.optionsFile() + u("。");

    const ProxyOptions& proxy = options.proxy;
    const bool withUser = hasProxyServer(proxy.mode) && !proxy.user.isEmpty();
    const QString oldKey = ProxyPasswordKey(before.proxy.host, before.proxy.port, before.proxy.user);
    const QString newKey = ProxyPasswordKey(proxy.host, proxy.port, proxy.user);
    proxyPassword = fields.proxyPasswordEdited ? fields.proxyPassword.toUtf8() : ProxyPassword(before.proxy);
    if (!withUser) {
        proxyPassword.clear();
        return trouble;
    }
    const bool keyChanged = oldKey != newKey;
    if (!fields.proxyPasswordEdited && !keyChanged)
        return trouble;  // the stored password stays where it is
    if (!store_ || !store_->Available()) {
        if (!proxyPassword.isEmpty()) {
            const QString why = store_ ? store_->UnavailableReason() : u("没有系统钥匙环。");
            trouble += (trouble.isEmpty() ? QString() : QStringLiteral("\n")) + why +
                       u("代理密码只在本次运行中使用，不会保存。");
        }
        return trouble;
    }
    SecretStore::Result done;
    if (proxyPassword.isEmpty())
        done = store_->Remove(newKey);
    else
        done = store_->Write(newKey, proxyPassword);
    if (!done.ok() && done.status != SecretStore::Status::NotFound)
        trouble += (trouble.isEmpty() ? QString() : QStringLiteral("\n")) + u("代理密码未能保存到系统钥匙环：") +
                   done.error;
    else if (keyChanged && !before.proxy.user.isEmpty())
        store_->Remove(oldKey);
    return trouble;
}

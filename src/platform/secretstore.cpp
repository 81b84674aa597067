#include "platform/secretstore.h"

#include "text/gbk.h"

QString SiteAccountKey(const QByteArray& siteUrl, const QByteArray& account) {
    return FromGbk(account) + QLatin1Char('@') + FromGbk(siteUrl);
}

QString ProxyPasswordKey(const QString& host, quint16 port, const QString& user) {
    return QStringLiteral("proxy:") + user + QLatin1Char('@') + host + QLatin1Char(':') + QString::number(port);
}

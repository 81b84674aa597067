#include "config/siteconfig.h"

#include "text/fields.h"
#include "text/scramble.h"
#include "text/textfile.h"

#include <QFile>

SiteConfig ParseSiteConfigText(const QByteArray& text) {
    SiteConfig config;
    config.SiteUrl = PickField('|', text, 0);
    config.SiteName = PickField('|', text, 1);
    const QList<QByteArray> items = SplitItems('|', text);
    if (items.size() > 2)
        config.VendorHomeUrl = items[2];
    return config;
}

std::optional<SiteConfig> ReadSiteConfig(const LocalFiles& files) {
    if (!QFile::exists(files.siteConfigFile()))
        return std::nullopt;
    const QByteArray frame = ReadTextFileJoined(files.siteConfigFile());
    return ParseSiteConfigText(SiteConfigCodec(frame, CodecDirection::Decode));
}

QByteArray MakeSiteConfigLine(const QByteArray& siteUrl, const QByteArray& siteName,
                              const QByteArray& vendorHomeUrl) {
    QByteArray text = QuoteItem('|', siteUrl) + '|' + QuoteItem('|', siteName);
    if (!vendorHomeUrl.isEmpty())
        text += '|' + QuoteItem('|', vendorHomeUrl);
    return SiteConfigCodec(text, CodecDirection::Encode);
}

void WriteUserSiteConfig(const LocalFiles& files, QByteArray siteUrl, const QByteArray& siteName) {
    if (!siteUrl.endsWith('/'))
        siteUrl += '/';
    files.makeDataFolder();
    WriteTextLine(files.userSiteConfigFile(), MakeSiteConfigLine(siteUrl, siteName), true);
}

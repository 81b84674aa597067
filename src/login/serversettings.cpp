#include "login/serversettings.h"

#include "text/base64.h"
#include "text/fields.h"
#include "text/scramble.h"

QByteArray BrandingField(const QByteArray& branding, BrandingItem item) {
    const int index = int(item);
    const QList<QByteArray> items = SplitItems('|', branding);
    // A record of fewer than two items is one item: the whole text.
    if (items.size() < 2)
        return index == 0 ? branding : QByteArray();
    return items.value(index);
}

LoadSetOutcome ApplyLoadSetReply(const QList<QByteArray>& lines, TSiteSettings& settings) {
    const QByteArray line1 = lines.value(0);
    if (!line1.startsWith("true|"))
        return {QString::fromUtf8("服务器连接信息出错..")};
    settings.RegisterSiteUrl = lines.value(1);
    const QByteArray line3 = lines.value(2);
    if (line3.isEmpty())
        return {QString::fromUtf8("读取网盘配置信息失败")};
    const QByteArray text = ServerSettingsCodec(line3, CodecDirection::Decode);
    // Every item is read before any is taken: a record that is cut short
    // raises with the FTP account unchanged, never half replaced.
    TSiteSettings taken = settings;
    taken.FtpHost = PickField('|', text, 0);
    taken.FtpUser = PickField('|', text, 1);
    taken.FtpPassword = PickField('|', text, 2);
    taken.FtpPort = PickField('|', text, 3);
    taken.FtpDir = PickField('|', text, 4) + line1.mid(5);
    taken.FtpPassive = PickField('|', text, 5);
    taken.Branding = Base64Decode(PickField('|', text, 6));
    settings = std::move(taken);
    return {};
}

QByteArray LoadSetRequestBody(const QByteArray& accountName, const QByteArray& accountToken) {
    return "action=loadset&username=" + accountName + "&password=" + accountToken;
}

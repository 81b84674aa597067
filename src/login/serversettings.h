#pragma once
// The site's transfer settings, asked for after each login with "loadset":
// the FTP account, the registration address and the branding record.

#include <QByteArray>
#include <QList>
#include <QString>

struct TSiteSettings {
    QByteArray FtpHost;
    QByteArray FtpUser;
    QByteArray FtpPassword;
    QByteArray FtpPort;
    QByteArray FtpDir;
    QByteArray FtpPassive;       // a number, or "true"/"false" in any case
    QByteArray RegisterSiteUrl;  // base of the upload registration requests
    QByteArray Branding;         // GBK record, items separated by "|"
};

// Items of the branding record.
enum class BrandingItem { Caption = 0, AboutPage = 2, Skins = 5, NewsPage = 6 };

// An item of the branding record; empty when the record has no such item.
QByteArray BrandingField(const QByteArray& branding, BrandingItem item);

// What a loadset reply asks the window to do after the settings were taken.
struct LoadSetOutcome {
    QString message;  // an information message to show first, or empty
};

// Takes a loadset reply (its lines) into `settings`:
// - line 1 must begin with "true|", else "服务器连接信息出错.." and nothing
//   changes;
// - line 2 becomes RegisterSiteUrl;
// - line 3 is the server-settings frame of
//   FtpHost|FtpUser|FtpPassword|FtpPort|dir|FtpPassive|Base64(branding),
//   FtpDir being dir followed by the rest of line 1 after "true|"; an empty
//   or missing line 3 gives "读取网盘配置信息失败".
// A line 3 that does not decode, or whose record has fewer than seven items
// (but more than one), raises after RegisterSiteUrl was replaced; the other
// fields then stay as they were.
LoadSetOutcome ApplyLoadSetReply(const QList<QByteArray>& lines, TSiteSettings& settings);

// The body of the loadset request.
QByteArray LoadSetRequestBody(const QByteArray& accountName, const QByteArray& accountToken);

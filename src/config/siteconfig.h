#pragma once
// The site configuration file "quellix.cfg": one line, the site-config codec
// frame of a record "SiteUrl|SiteName[|VendorHomeUrl]". The operator ships it
// beside the program (or in /etc/quellix for an installed copy); when there
// is none, the user names the site and the program writes the user's own.

#include "config/localfiles.h"

#include <QByteArray>
#include <optional>

struct SiteConfig {
    QByteArray SiteUrl;        // base address of the site, ending in "/"
    QByteArray SiteName;       // display name (GBK)
    QByteArray VendorHomeUrl;  // skin server and support address; empty when not given
};

// The decoded record's items. A record without "|" gives the whole text as
// both SiteUrl and SiteName (the item rule: fewer than two items).
SiteConfig ParseSiteConfigText(const QByteArray& text);

// The configuration, or nothing when the file does not exist. A file that
// does not decode raises the codec's error.
std::optional<SiteConfig> ReadSiteConfig(const LocalFiles& files);

// The one line of "quellix.cfg" for a site: each item quoted when the item
// rule requires it, so that reading it back gives exactly the items.
QByteArray MakeSiteConfigLine(const QByteArray& siteUrl, const QByteArray& siteName,
                              const QByteArray& vendorHomeUrl = QByteArray());

// Writes the user's "quellix.cfg" (LocalFiles::userSiteConfigFile, its
// folder created when missing) for a site the user named; an address without
// the final "/" gets one. Raises EInOutError when it cannot be written.
void WriteUserSiteConfig(const LocalFiles& files, QByteArray siteUrl, const QByteArray& siteName);

#pragma once
// The small dialog that asks for the site's address and name when no
// "quellix.cfg" was found, so that a user of an installed copy can name the
// site without the operator's file.

#include <QByteArray>
#include <functional>
#include <optional>

class QWidget;

struct SiteAddress {
    QByteArray SiteUrl;   // as typed (GBK)
    QByteArray SiteName;  // GBK
};

// Asks for a site; nothing when the user cancels.
using SiteAsker = std::function<std::optional<SiteAddress>(QWidget* parent)>;

// The dialog "网盘站点设置": an address and a name, OK only when both are given.
std::optional<SiteAddress> AskSiteAddress(QWidget* parent);

#pragma once
// What the login window knows about the site and the signed-in account. The
// other windows read it; only the login window and the account switch write
// it.

#include <QByteArray>

struct SiteSession {
    QByteArray SiteUrl;        // base address of the site, ending in "/"
    QByteArray SiteName;       // display name of the site (GBK)
    QByteArray VendorHomeUrl;  // from the site configuration; empty when not given
    QByteArray AccountName;    // sent as "username=" by every request after login
    QByteArray AccountToken;   // sent as "password=" by every request after login
    bool DebugLogEnabled = false;
    bool LoggedIn = false;
    QByteArray SkinName = "Laconic";
};

#pragma once
// What the program knows about the site and the signed-in account. The login
// window fills in the site, SiteLogin the account (at a login and at the
// account switch); the other windows and quellix-tool read it.

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

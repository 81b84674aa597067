#pragma once
// The skins a site offers: item 5 of its branding record, a list of skin
// names separated by ",". A name is the skin's identifier on the skin
// server and its file name in "skins/", so it comes from the site and must
// stay one plain file name there.

#include <QByteArray>
#include <QList>

struct TSkinRes {
    QByteArray Name;     // GBK
    QByteArray Caption;  // Name + "皮肤", the text of the list entry (GBK)
};

// True for a name that stays one file inside the skins folder: not empty,
// not "." or "..", and without "/", "\" or control characters.
bool IsSafeSkinName(const QByteArray& name);

// The skins of the branding record, in order. The list has one name more
// than it has ","; each is cut by the "|"-record rule (PickField) with ","
// as the separator, so a text without "," is one name. Unsafe names (see
// IsSafeSkinName) are left out, and so is a name already listed.
QList<TSkinRes> SkinList(const QByteArray& branding);

// Addresses on the skin server (`vendorHomeUrl` ends with "/"); the name is
// appended unescaped.
QByteArray SkinPackageUrl(const QByteArray& vendorHomeUrl, const QByteArray& name);
QByteArray SkinPreviewUrl(const QByteArray& vendorHomeUrl, const QByteArray& name);

#include "skinmgr/skincatalogue.h"

#include "login/serversettings.h"
#include "text/fields.h"
#include "text/gbk.h"

bool IsSafeSkinName(const QByteArray& name) {
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f)
            return false;
    }
    return true;
}

QList<TSkinRes> SkinList(const QByteArray& branding) {
    const QByteArray text = BrandingField(branding, BrandingItem::Skins);
    const int count = CountOccurrences(text, ",") + 1;
    const QList<QByteArray> items = SplitItems(',', text);
    QList<TSkinRes> skins;
    for (int i = 0; i < count; ++i) {
        // The record rule: a text of fewer than two items is one name.
        const QByteArray name = items.size() < 2 ? TrimBlanks(text) : items.value(i);
        if (!IsSafeSkinName(name))
            continue;
        bool listed = false;
        for (const TSkinRes& skin : std::as_const(skins))
            listed = listed || skin.Name == name;
        if (!listed)
            skins.append({name, name + "皮肤"_gbk});
    }
    return skins;
}

QByteArray SkinPackageUrl(const QByteArray& vendorHomeUrl, const QByteArray& name) {
    return vendorHomeUrl + "plugins/getskin.php?action=downskin&skin_id=" + name;
}

QByteArray SkinPreviewUrl(const QByteArray& vendorHomeUrl, const QByteArray& name) {
    return vendorHomeUrl + "plugins/getskin.php?action=downimg&skin_id=" + name;
}

// Fuzzes the replies of the web-disk site: listing lines, resume lines, the
// loadset reply with its branding record, the skin list, and the lines of
// the login reply. The first byte picks the reply kind; the rest is the
// reply body as the site sends it (GBK bytes).

#include "disk/remotelisting.h"
#include "fuzzcheck.h"
#include "login/loginreply.h"
#include "login/serversettings.h"
#include "skinmgr/skincatalogue.h"
#include "text/base64.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"
#include "text/scramble.h"
#include "upload/filelist.h"

#include <QSet>

namespace {

QList<QByteArray> itemTexts(const QByteArray& line) {
    QList<PositionedItem> items;
    SplitWithPositions(line, items, "|");
    QList<QByteArray> texts;
    for (const PositionedItem& item : items)
        texts.append(item.text);
    return texts;
}

void listingLine(const QByteArray& line) {
    RemoteEntry entry;
    try {
        entry = ParseListingLine(line);
    } catch (const EConvertError&) {
        return;
    } catch (const EStringListError&) {
        FUZZ_CHECK(itemTexts(line).size() < 8);
        return;
    }
    // The entry's fields, joined again, are the line's trimmed items in order.
    const QList<QByteArray> items = itemTexts(line);
    FUZZ_CHECK(items.size() >= 8);
    FUZZ_CHECK(entry.Name == items[0] && entry.Id == items[4] && entry.Created == items[5] && entry.Views == items[6] &&
               entry.Downloads == items[7]);
    FUZZ_CHECK(entry.IsFolder == StrToBool(items[3]));
    if (!entry.IsFolder) {
        FUZZ_CHECK(entry.Size == StrToInt(items[1]));
        FUZZ_CHECK(entry.Type == items[2]);
    } else {
        FUZZ_CHECK(entry.Size == 0 && entry.Type.isEmpty());
    }
    for (const QByteArray& item : items)
        FUZZ_CHECK(item == TrimBlanks(item));
}

void resumeLine(const QByteArray& line) {
    ResumeEntry entry;
    try {
        entry = ParseResumeLine(line);
    } catch (const EConvertError&) {
        return;
    } catch (const EStringListError&) {
        FUZZ_CHECK(itemTexts(line).size() < 3);
        return;
    }
    const QList<QByteArray> items = itemTexts(line);
    FUZZ_CHECK(items.size() >= 3);
    FUZZ_CHECK(entry.fileName == items[0] && entry.size == StrToInt(items[1]) && entry.folderPath == items[2]);
}

void checkBranding(const QByteArray& branding) {
    const QList<QByteArray> items = SplitItems('|', branding);
    for (BrandingItem item : {BrandingItem::Caption, BrandingItem::AboutPage, BrandingItem::Skins,
                              BrandingItem::NewsPage}) {
        const QByteArray field = BrandingField(branding, item);
        if (items.size() >= 2)
            FUZZ_CHECK(field == items.value(int(item)));
        else
            FUZZ_CHECK(field == (item == BrandingItem::Caption ? branding : QByteArray()));
    }
    // Every skin offered is a safe file name, listed once, with its caption.
    const QList<TSkinRes> skins = SkinList(branding);
    QSet<QByteArray> seen;
    for (const TSkinRes& skin : skins) {
        FUZZ_CHECK(IsSafeSkinName(skin.Name));
        FUZZ_CHECK(skin.Name != "." && skin.Name != ".." && !skin.Name.contains('/') && !skin.Name.contains('\\'));
        for (char c : skin.Name)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127);
        FUZZ_CHECK(!seen.contains(skin.Name));
        seen.insert(skin.Name);
        FUZZ_CHECK(skin.Caption == skin.Name + "皮肤"_gbk);
    }
    FUZZ_CHECK(skins.size() <= BrandingField(branding, BrandingItem::Skins).count(',') + 1);
}

void loadSetReply(const QList<QByteArray>& lines) {
    TSiteSettings settings;
    settings.FtpHost = "untouched";
    settings.RegisterSiteUrl = "untouched";
    LoadSetOutcome outcome;
    try {
        outcome = ApplyLoadSetReply(lines, settings);
    } catch (const QxError&) {
        // Only a line 3 that does not decode raises, after line 2 was taken.
        FUZZ_CHECK(lines.value(0).startsWith("true|") && !lines.value(2).isEmpty());
        FUZZ_CHECK(settings.RegisterSiteUrl == lines.value(1) && settings.FtpHost == "untouched");
        return;
    }
    if (!lines.value(0).startsWith("true|")) {
        FUZZ_CHECK(!outcome.message.isEmpty());
        FUZZ_CHECK(settings.RegisterSiteUrl == "untouched" && settings.FtpHost == "untouched");
        return;
    }
    FUZZ_CHECK(settings.RegisterSiteUrl == lines.value(1));
    if (lines.value(2).isEmpty()) {
        FUZZ_CHECK(!outcome.message.isEmpty() && settings.FtpHost == "untouched");
        return;
    }
    FUZZ_CHECK(outcome.message.isEmpty());
    FUZZ_CHECK(settings.FtpDir.endsWith(lines.value(0).mid(5)));
    checkBranding(settings.Branding);
}

// A loadset reply whose settings frame is well formed, so that fuzzing
// reaches past the codec: the items come from the input.
void wellFormedLoadSet(const QByteArray& input) {
    const QList<QByteArray> parts = input.split('\n');
    // The scrambler codes the bytes 1 to 254 one to one; 0 and 255 are left out.
    QByteArray record = parts.value(2);
    record.removeIf([](char c) { return c == '\0' || c == char(0xFF); });
    const QByteArray branding = parts.value(3);
    const QByteArray text = record + "|" + Base64Encode(branding);
    const QList<QByteArray> lines{"true|" + parts.value(0), parts.value(1),
                                  ServerSettingsCodec(text, CodecDirection::Encode)};
    FUZZ_CHECK(ServerSettingsCodec(lines[2], CodecDirection::Decode) == text);
    TSiteSettings settings;
    try {
        ApplyLoadSetReply(lines, settings);
    } catch (const EStringListError&) {
        return;  // fewer than seven items
    }
    FUZZ_CHECK(settings.FtpHost == PickField('|', text, 0));
    FUZZ_CHECK(settings.FtpDir == PickField('|', text, 4) + parts.value(0));
    checkBranding(settings.Branding);
}

void loginReply(const QList<QByteArray>& lines) {
    const LoginReply reply = ReadLoginReply(lines);
    switch (reply.kind) {
    case LoginReply::Kind::Nothing:
        FUZZ_CHECK(lines.isEmpty());
        break;
    case LoginReply::Kind::Refused:
        FUZZ_CHECK(lines.size() == 1 && reply.Message == lines[0]);
        break;
    case LoginReply::Kind::NoAccount:
        FUZZ_CHECK(lines.size() >= 2 && (TrimBlanks(lines[0]).isEmpty() || TrimBlanks(lines[1]).isEmpty()));
        break;
    case LoginReply::Kind::LoggedIn:
        FUZZ_CHECK(lines.size() >= 2 && !TrimBlanks(reply.AccountName).isEmpty() &&
                   !TrimBlanks(reply.AccountToken).isEmpty());
        FUZZ_CHECK(reply.AccountName == lines[0] && reply.AccountToken == lines[1]);
        FUZZ_CHECK(reply.DebugLogEnabled == (lines.value(2) == "1"));
        break;
    }
    for (const QByteArray& line : lines)
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (data[0] % 6) {
    case 0:
        for (const QByteArray& line : CutLines(input))
            listingLine(line);
        break;
    case 1:
        for (const QByteArray& line : CutLines(input))
            resumeLine(line);
        break;
    case 2:
        loadSetReply(CutLines(input));
        break;
    case 3:
        wellFormedLoadSet(input);
        break;
    case 4:
        checkBranding(input);
        break;
    case 5:
        loginReply(CutLines(input));
        break;
    }
    return 0;
}

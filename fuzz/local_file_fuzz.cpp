// Fuzzes what the program reads from its own files, which anyone may have
// edited or damaged: the frames of quellix.cfg and settings.cfg, the site
// record inside, and the text helpers those rely on (the scrambler, Base64,
// number and boolean conversion, item and line cutting, GBK decoding).
// The first byte picks the function and the scrambler's start bytes; the
// rest is the file's text.

#include "config/siteconfig.h"
#include "fuzzcheck.h"
#include "text/base64.h"
#include "text/convert.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"
#include "text/scramble.h"

#include <functional>

namespace {

// The scrambler maps the bytes 1 to 254 one to one; 0 and 255 share their
// codes with other bytes, so texts to encode are taken without them.
QByteArray encodable(const QByteArray& text) {
    QByteArray out = text;
    out.removeIf([](char c) { return c == '\0' || c == char(0xFF); });
    return out;
}

using Codec = QByteArray (*)(QByteArrayView, CodecDirection);

// A frame decodes or raises the conversion error; what it decodes to
// re-encodes to a frame that decodes to the same text, and any text's frame
// decodes back to it.
void codecFrame(Codec codec, const QByteArray& input) {
    try {
        const QByteArray text = codec(input, CodecDirection::Decode);
        const QByteArray clean = encodable(text);
        // (An empty text has no frame: its scrambled form is too short to read back.)
        if (!clean.isEmpty()) {
            const QByteArray frame = codec(clean, CodecDirection::Encode);
            FUZZ_CHECK(frame.startsWith('A') && frame.endsWith('Z'));
            FUZZ_CHECK(codec(frame, CodecDirection::Decode) == clean);
        }
    } catch (const EConvertError&) {
    }
    const QByteArray clean = encodable(input);
    if (!clean.isEmpty())
        FUZZ_CHECK(codec(codec(clean, CodecDirection::Encode), CodecDirection::Decode) == clean);
}

// True when every GBK lead byte of the item is followed by a valid second
// byte (0x40 to 0xFE but 0x7F). Quoting cannot keep other items apart from
// what follows: the reader takes the byte after a lead byte, a quote or a
// separator too, as the character's second half.
bool isWellFormedGbk(const QByteArray& item) {
    for (qsizetype i = 0; i < item.size(); ++i) {
        if (!IsGbkLeadByte(static_cast<unsigned char>(item[i])))
            continue;
        const unsigned char trail = i + 1 < item.size() ? static_cast<unsigned char>(item[i + 1]) : 0;
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
        ++i;
    }
    return true;
}

void siteConfigText(const QByteArray& text) {
    const SiteConfig config = ParseSiteConfigText(text);
    const QList<QByteArray> items = SplitItems('|', text);
    if (items.size() < 2) {
        FUZZ_CHECK(config.SiteUrl == text && config.SiteName == text && config.VendorHomeUrl.isEmpty());
        return;
    }
    FUZZ_CHECK(config.SiteUrl == items[0] && config.SiteName == items[1] && config.VendorHomeUrl == items.value(2));
    // The line written for these items reads back as the same items.
    if (!isWellFormedGbk(config.SiteUrl) || !isWellFormedGbk(config.SiteName) ||
        !isWellFormedGbk(config.VendorHomeUrl))
        return;
    const QByteArray clean = QuoteItem('|', config.SiteUrl) + '|' + QuoteItem('|', config.SiteName) +
                             (config.VendorHomeUrl.isEmpty() ? QByteArray() : '|' + QuoteItem('|', config.VendorHomeUrl));
    const SiteConfig again = ParseSiteConfigText(clean);
    FUZZ_CHECK(again.SiteUrl == config.SiteUrl && again.SiteName == config.SiteName &&
               again.VendorHomeUrl == config.VendorHomeUrl);
}

void unscramble(const QByteArray& input) {
    const qsizetype cut = input.indexOf('\n');
    const QByteArray key = cut < 0 ? QByteArray() : input.left(cut);
    const QByteArray hex = cut < 0 ? input : input.mid(cut + 1);
    try {
        const QByteArray text = Unscramble(hex, key);
        // One byte per whole pair after the start pair; a last single digit is ignored.
        FUZZ_CHECK(text.size() == std::max<qsizetype>(1, (hex.size() - 2) / 2));
    } catch (const EConvertError& e) {
        FUZZ_CHECK(e.message().startsWith("'$") && e.message().endsWith("' is not a valid integer value"));
    }
    const QByteArray clean = encodable(hex);
    const QByteArray scrambled = Scramble(clean, key);
    FUZZ_CHECK(scrambled.size() == 2 + 2 * clean.size());
    if (!clean.isEmpty())
        FUZZ_CHECK(Unscramble(scrambled, key) == clean);
}

void base64(const QByteArray& input) {
    const QByteArray decoded = Base64Decode(input);
    FUZZ_CHECK(decoded.size() <= input.size() / 4 * 3);
    FUZZ_CHECK(Base64Decode(Base64Encode(input)) == input);
    // Text of the alphabet without padding decodes to bytes that encode to
    // the same text (its whole groups).
    bool plain = true;
    for (char c : input)
        plain = plain && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                          c == '/');
    if (plain)
        FUZZ_CHECK(Base64Encode(decoded) == input.left(input.size() / 4 * 4));
}

void numbers(const QByteArray& input) {
    std::optional<qint64> wide;
    try {
        wide = StrToInt64(input);
        FUZZ_CHECK(StrToInt64(QByteArray::number(*wide)) == *wide);
    } catch (const EConvertError& e) {
        FUZZ_CHECK(e.message() == "'" + input + "' is not a valid integer value");
    }
    try {
        const int32_t narrow = StrToInt(input);
        // What converts to 32 bits converts to the same 64-bit number.
        FUZZ_CHECK(wide && *wide == narrow);
    } catch (const EConvertError&) {
        FUZZ_CHECK(!wide || *wide < INT32_MIN || *wide > INT32_MAX);
    }
    try {
        const bool value = StrToBool(input);
        if (wide)
            FUZZ_CHECK(value == (*wide != 0));
    } catch (const EConvertError& e) {
        FUZZ_CHECK(!wide);
        FUZZ_CHECK(e.message() == "'" + input + "' is not a valid boolean value");
    }
}

void items(char separator, const QByteArray& input) {
    const QList<QByteArray> list = SplitItems(separator, input);
    if (list.size() >= 2) {
        for (qsizetype i = 0; i < list.size(); ++i)
            FUZZ_CHECK(PickField(separator, input, int(i)) == list[i]);
        try {
            PickField(separator, input, int(list.size()));
            FUZZ_CHECK(false);
        } catch (const EStringListError&) {
        }
        // Quoted and joined again, the items read back unchanged.
        for (const QByteArray& item : list)
            if (!isWellFormedGbk(item))
                return;
        QByteArray joined;
        for (qsizetype i = 0; i < list.size(); ++i)
            joined += (i ? QByteArray(1, separator) : QByteArray()) + QuoteItem(separator, list[i]);
        FUZZ_CHECK(SplitItems(separator, joined) == list);
    } else {
        FUZZ_CHECK(PickField(separator, input, 7) == input);
    }
}

void positions(const QByteArray& input) {
    const qsizetype cut = input.indexOf('\n');
    const QByteArray separator = cut < 0 ? QByteArray("|") : input.left(std::min<qsizetype>(cut, 3));
    const QByteArray text = cut < 0 ? input : input.mid(cut + 1);
    QList<PositionedItem> list;
    SplitWithPositions(text, list, separator);
    int last = 0;
    for (const PositionedItem& item : list) {
        // Each item is trimmed and found where its position says, in order.
        FUZZ_CHECK(item.position > last && item.position <= text.size());
        last = item.position;
        FUZZ_CHECK(item.text == TrimBlanks(item.text));
        FUZZ_CHECK(TrimBlanks(text.mid(item.position - 1)).startsWith(item.text));
    }
}

void lines(const QByteArray& input) {
    const QList<QByteArray> cut = CutLines(input);
    // The text up to its first zero byte, with every line break made one
    // line feed, is the lines joined by line feeds.
    QByteArray text = input.left(input.indexOf('\0') < 0 ? input.size() : input.indexOf('\0'));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    if (text.endsWith('\n'))
        text.chop(1);
    QByteArray joined;
    for (qsizetype i = 0; i < cut.size(); ++i) {
        FUZZ_CHECK(!cut[i].contains('\r') && !cut[i].contains('\n') && !cut[i].contains('\0'));
        joined += (i ? "\n" : "") + cut[i];
    }
    FUZZ_CHECK(joined == text);
}

void gbk(const QByteArray& input) {
    const QString text = FromGbk(input);
    FUZZ_CHECK(text.size() <= input.size());
    // Text that came from GBK without replacement goes back to GBK exactly
    // and decodes to the same text.
    if (const std::optional<QByteArray> back = ToGbkExact(text))
        FUZZ_CHECK(FromGbk(*back) == text);
    const QByteArray lossy = ToGbk(text);
    FUZZ_CHECK(FromGbk(lossy).size() == text.size() || text.contains(QChar(0xFFFD)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    int start = control;
    SetScrambleStartByteSource([&start] { return start = (start * 73 + 41) & 0xFF; });
    switch (control % 10) {
    case 0:
        codecFrame(SiteConfigCodec, input);
        try {
            siteConfigText(SiteConfigCodec(input, CodecDirection::Decode));
        } catch (const EConvertError&) {
        }
        break;
    case 1:
        codecFrame(SettingsFileCodec, input);
        break;
    case 2:
        siteConfigText(input);
        break;
    case 3:
        unscramble(input);
        break;
    case 4:
        base64(input);
        break;
    case 5:
        numbers(input);
        break;
    case 6:
        items('|', input);
        break;
    case 7:
        // Separators are printable ASCII characters other than the quote
        // ("|" and "," in the program).
    {
        const char separator = input.isEmpty() ? ',' : char(33 + static_cast<unsigned char>(input[0]) % 94);
        items(separator == '"' ? ',' : separator, input.mid(1));
    }
        positions(input);
        break;
    case 8:
        lines(input);
        break;
    case 9:
        gbk(input);
        break;
    }
    SetScrambleStartByteSource(nullptr);
    return 0;
}

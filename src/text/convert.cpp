#include "text/convert.h"

#include "text/errors.h"

#include <limits>
#include <optional>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses the whole text or gives nothing. Magnitudes are checked against
// `limit` (the largest positive value; a negative value may go one further).
std::optional<int64_t> parseInteger(QByteArrayView text, uint64_t limit) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    const uint64_t max = negative ? limit + 1 : limit;
    uint64_t value = 0;
    for (; i < n; ++i) {
        int digit = base == 16 ? hexValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        if (value > (max - uint64_t(digit)) / uint64_t(base))
            return std::nullopt;
        value = value * uint64_t(base) + uint64_t(digit);
    }
    if (negative)
        return value == uint64_t(std::numeric_limits<int64_t>::max()) + 1 ? std::numeric_limits<int64_t>::min()
                                                                         : -int64_t(value);
    return int64_t(value);
}

[[noreturn]] void invalidInteger(QByteArrayView text) {
    throw EConvertError("'" + text.toByteArray() + "' is not a valid integer value");
}

}  // namespace

int32_t StrToInt(QByteArrayView text) {
    auto value = parseInteger(text, uint64_t(std::numeric_limits<int32_t>::max()));
    if (!value)
        invalidInteger(text);
    return int32_t(*value);
}

int64_t StrToInt64(QByteArrayView text) {
    auto value = parseInteger(text, uint64_t(std::numeric_limits<int64_t>::max()));
    if (!value)
        invalidInteger(text);
    return *value;
}

bool StrToBool(QByteArrayView text) {
    if (auto number = parseInteger(text, uint64_t(std::numeric_limits<int64_t>::max())))
        return *number != 0;
    QByteArray lower = text.toByteArray().toLower();
    if (lower == "true")
        return true;
    if (lower == "false")
        return false;
    throw EConvertError("'" + text.toByteArray() + "' is not a valid boolean value");
}

#include "text/gbk.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace {

// One conversion descriptor per direction, opened on first use. The program
// has one thread, but tests may convert from several, so each thread keeps
// its own.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; on an unconvertible input sequence calls
    // onInvalid(out, skipBytes) which appends a replacement and says how many
    // input bytes to skip (0 to give up). Returns false when given up.
    template <class OnInvalid>
    bool convert(QByteArrayView in, QByteArray& out, OnInvalid onInvalid) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.clear();
        out.reserve(in.size() * 2 + 8);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = static_cast<size_t>(in.size());
        char buffer[4096];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<qsizetype>(dst - buffer));
            if (rc != static_cast<size_t>(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ, or EINVAL for a sequence cut off at the end.
            size_t skip = onInvalid(out, reinterpret_cast<const unsigned char*>(src), srcLeft);
            if (skip == 0)
                return false;
            src += skip;
            srcLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return true;
    }

private:
    iconv_t cd_;
};

Converter& gbkToUtf8() {
    thread_local Converter c("UTF-8", "GBK");
    return c;
}

Converter& utf8ToGbk() {
    thread_local Converter c("GBK", "UTF-8");
    return c;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

}  // namespace

QString FromGbk(QByteArrayView gbk) {
    QByteArray utf8;
    gbkToUtf8().convert(gbk, utf8, [](QByteArray& out, const unsigned char*, size_t) -> size_t {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        return 1;
    });
    return QString::fromUtf8(utf8);
}

QByteArray ToGbk(QStringView text) {
    QByteArray utf8 = text.toUtf8();
    QByteArray gbk;
    utf8ToGbk().convert(utf8, gbk, [](QByteArray& out, const unsigned char* at, size_t left) -> size_t {
        out.append('?');
        return std::min(left, utf8SequenceLength(*at));
    });
    return gbk;
}

std::optional<QByteArray> ToGbkExact(QStringView text) {
    QByteArray utf8 = text.toUtf8();
    QByteArray gbk;
    bool ok = utf8ToGbk().convert(utf8, gbk, [](QByteArray&, const unsigned char*, size_t) -> size_t { return 0; });
    if (!ok)
        return std::nullopt;
    return gbk;
}

QByteArray operator""_gbk(const char* utf8, std::size_t length) {
    return ToGbk(QString::fromUtf8(utf8, static_cast<qsizetype>(length)));
}

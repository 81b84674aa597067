#include "net/ftpreplyparser.h"

#include <limits>

int FtpReplyCode(QByteArrayView text, qsizetype* digitsEnd) {
    if (text.isEmpty() || text[0] < '0' || text[0] > '9')
        return -1;
    qint64 code = 0;
    qsizetype i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        code = std::min<qint64>(code * 10 + (text[i] - '0'), 999999999);
    if (digitsEnd)
        *digitsEnd = i;
    return int(code);
}

qint64 FtpSizeReply(QByteArrayView reply) {
    qsizetype p = 0;
    FtpReplyCode(reply, &p);
    while (p < reply.size() && (reply[p] == ' ' || reply[p] == '\t'))
        ++p;
    bool negative = false;
    if (p < reply.size() && (reply[p] == '+' || reply[p] == '-'))
        negative = reply[p++] == '-';
    qint64 size = 0;
    for (; p < reply.size() && reply[p] >= '0' && reply[p] <= '9'; ++p) {
        if (size > (std::numeric_limits<qint64>::max() - 9) / 10)
            return 0;
        size = size * 10 + (reply[p] - '0');
    }
    return negative ? -size : size;
}

void FtpReplyParser::feed(QByteArrayView bytes) {
    // Drop what has been taken before the buffer grows further.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.remove(0, start_);
        start_ = 0;
    }
    buffer_.append(bytes);
}

FtpReplyParser::Status FtpReplyParser::next(FtpReplyLine& line) {
    const qsizetype available = buffer_.size() - start_;
    const char* data = buffer_.constData() + start_;
    qsizetype end = -1;  // index of the line feed that ends the line
    for (qsizetype i = scanned_; i < available; ++i) {
        if (data[i] == '\n' && (acceptLF_ || (i > 0 && data[i - 1] == '\r'))) {
            end = i;
            break;
        }
    }
    if (end < 0) {
        scanned_ = available;
        // A line that does not fit would have overwritten the buffer; it is
        // refused instead of being cut or silently dropped.
        return available >= capacity_ ? Status::Overflow : Status::NeedMore;
    }
    if (end + 1 > capacity_)
        return Status::Overflow;
    qsizetype textEnd = end;
    while (textEnd > 0 && (data[textEnd - 1] == '\r' || data[textEnd - 1] == '\n'))
        --textEnd;
    line = FtpReplyLine{};
    line.text = QByteArray(data, textEnd);
    start_ += end + 1;
    scanned_ = 0;
    classify(line);
    return Status::Line;
}

// RFC 959 section 4.2: a reply is one line "xyz text", or several lines, the
// first "xyz-text" and the last "xyz text" with the same code. Lines in
// between are text, even when they begin with digits.
void FtpReplyParser::classify(FtpReplyLine& line) {
    qsizetype digitsEnd = 0;
    const int code = FtpReplyCode(line.text, &digitsEnd);
    if (code < 0)
        return;
    const bool continues = digitsEnd < line.text.size() && line.text[digitsEnd] == '-';
    if (openCode_ >= 0 && code != openCode_)
        return;
    line.hasCode = true;
    line.code = code;
    if (continues) {
        openCode_ = code;
        return;
    }
    openCode_ = -1;
    line.final = true;
}

void FtpReplyParser::reset() {
    buffer_.clear();
    start_ = 0;
    scanned_ = 0;
    openCode_ = -1;
}

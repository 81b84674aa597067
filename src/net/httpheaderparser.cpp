#include "net/httpheaderparser.h"

#include <cstring>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A Content-Length value: a decimal number that fits 63 bits; anything else,
// a negative number included, counts as no length at all.
qint64 parseContentLength(const QByteArray& value) {
    const QByteArray text = value.trimmed();
    bool ok = false;
    const qint64 length = text.toLongLong(&ok, 10);
    return ok && length >= 0 ? length : -1;
}

}  // namespace

void HttpHeaderParser::Reset(const QByteArray& requestVersion) {
    requestVersion_ = requestVersion;
    head_ = HttpResponseHead();
    head_.CloseAfter = requestVersion_ == "1.0";
    headerBytes_ = 0;
    scanned_ = 0;
    firstLine_ = true;
    error_.clear();
}

bool HttpHeaderParser::startsHtmlDocument(const char* data, qsizetype size, bool& undecided) const {
    undecided = false;
    for (const char* marker : {"<html", "<!doctype"}) {
        const qsizetype markerSize = qsizetype(std::strlen(marker));
        const qsizetype n = std::min(size, markerSize);
        bool match = true;
        for (qsizetype i = 0; i < n && match; ++i)
            match = (data[i] >= 'A' && data[i] <= 'Z' ? char(data[i] + 32) : data[i]) == marker[i];
        if (match && n == markerSize)
            return true;
        if (match && n < markerSize)
            undecided = true;
    }
    return false;
}

HttpHeaderParser::Step HttpHeaderParser::Feed(const char* data, qsizetype size) {
    qsizetype pos = 0;
    for (;;) {
        const char* start = data + pos;
        const qsizetype left = size - pos;
        if (firstLine_ && left > 0) {
            bool undecided = false;
            if (startsHtmlDocument(start, left, undecided)) {
                // A server that answers with a bare document: no header at
                // all, the document runs until the connection closes.
                head_.Headerless = true;
                head_.StatusCode = 200;
                head_.ReasonPhrase = "OK";
                head_.ContentType = "text/html";
                head_.CloseAfter = true;
                return {Status::Complete, pos};
            }
            if (undecided && !std::memchr(start, '\n', size_t(left)))
                return {Status::NeedMore, pos};
        }
        // The unconsumed rest is fed again with what arrives next; skip the
        // part already searched so that a slowly arriving line costs linear time.
        const qsizetype skip = std::min(scanned_, left);
        const char* lf = left > skip ? static_cast<const char*>(std::memchr(start + skip, '\n', size_t(left - skip)))
                                     : nullptr;
        if (!lf) {
            scanned_ = left;
            if (left > MaxLineBytes) {
                error_ = "Response header line too long";
                return {Status::Error, pos};
            }
            return {Status::NeedMore, pos};
        }
        scanned_ = 0;
        const qsizetype lineBytes = lf - start;
        if (lineBytes > MaxLineBytes) {
            error_ = "Response header line too long";
            return {Status::Error, pos};
        }
        headerBytes_ += lineBytes + 1;
        if (headerBytes_ > MaxHeaderBytes) {
            error_ = "Response header too large";
            return {Status::Error, pos};
        }
        const qsizetype textBytes = lineBytes > 0 && start[lineBytes - 1] == '\r' ? lineBytes - 1 : lineBytes;
        pos += lineBytes + 1;

        if (textBytes == 0) {
            if (firstLine_)
                continue;  // stray line ends before a response are skipped
            // HTTP/1.1 interim responses (100 Continue, 103 Early Hints) are
            // followed by the real one; 101 would switch protocols and is final.
            if (head_.Version == "1.1" && head_.StatusCode >= 100 && head_.StatusCode < 200 &&
                head_.StatusCode != 101) {
                const qsizetype bytes = headerBytes_;
                Reset(requestVersion_);
                headerBytes_ = bytes;
                continue;
            }
            return {Status::Complete, pos};
        }
        handleLine(QByteArray(start, textBytes));
    }
}

void HttpHeaderParser::handleLine(const QByteArray& line) {
    head_.Lines.append(line);
    if (firstLine_) {
        firstLine_ = false;
        if (line.startsWith("HTTP/1.0") || line.startsWith("HTTP/1.1")) {
            handleStatusLine(line);
            return;
        }
        // Any other first line is only collected, never read as a field
        // (a first line "Location: ..." is no relocation); the status stays 0.
        return;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return;
    qsizetype valueStart = colon + 1;
    while (valueStart < line.size() && isBlank(line[valueStart]))
        ++valueStart;
    handleField(line.left(colon).toLower(), line.mid(valueStart));
}

void HttpHeaderParser::handleStatusLine(const QByteArray& line) {
    head_.Version = line.mid(5, 3);
    if (requestVersion_ == "1.0" || head_.Version == "1.0")
        head_.CloseAfter = true;
    else
        head_.CloseAfter = false;
    // The code starts at the first digit from the 10th character on, so that
    // two blanks between version and code still give it.
    qsizetype codeStart = 9;
    while (codeStart < line.size() && !isDigit(line[codeStart]))
        ++codeStart;
    const QByteArray code = line.mid(codeStart, 3);
    if (code.size() == 3 && isDigit(code[0]) && isDigit(code[1]) && isDigit(code[2])) {
        head_.StatusCode = code.toInt();
        head_.ReasonPhrase = line.mid(codeStart + 4);
    } else {
        head_.StatusCode = 0;
        head_.ReasonPhrase = line.mid(9);
    }
}

void HttpHeaderParser::handleField(const QByteArray& name, const QByteArray& value) {
    if (name == "location") {
        head_.LocationSeen = true;
        head_.Location = value;
    } else if (name == "content-length") {
        head_.ContentLength = parseContentLength(value);
    } else if (name == "transfer-encoding") {
        head_.TransferCoding = value.toLower();
    } else if (name == "content-range") {
        head_.ContentRangeSeen = true;
        const qsizetype dash = value.indexOf('-');
        if (dash < 0) {
            head_.ContentRangeBegin.clear();
            head_.ContentRangeEnd.clear();
            return;
        }
        head_.ContentRangeBegin = dash > 6 ? value.mid(6, dash - 6) : QByteArray();
        const qsizetype slash = value.indexOf('/', dash + 1);
        head_.ContentRangeEnd = slash < 0 ? value.mid(dash + 1) : value.mid(dash + 1, slash - dash - 1);
    } else if (name == "accept-ranges") {
        head_.AcceptRangesSeen = true;
        head_.AcceptRanges = value;
    } else if (name == "content-type") {
        head_.ContentType = value.toLower();
    } else if (name == "connection" || name == "proxy-connection") {
        const QByteArray option = value.trimmed().toLower();
        if (option == "close")
            head_.CloseAfter = true;
        else if (option == "keep-alive")
            head_.CloseAfter = false;
    }
}

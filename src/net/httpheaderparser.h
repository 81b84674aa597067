#pragma once
// The response header parser: fed the bytes received so far, it reads whole
// lines, answers whether the header is complete, needs more bytes or is
// unacceptable, and says how many bytes it consumed. It never keeps bytes of
// its own: the caller keeps the unconsumed rest and feeds it again together
// with what arrives next.

#include <QByteArray>
#include <QList>

// What a response header says. Fields of lines that did not arrive keep
// their empty values.
struct HttpResponseHead {
    QList<QByteArray> Lines;  // every line of the header, the status line included
    QByteArray Version;       // "1.0" or "1.1" from the status line; empty without one
    int StatusCode = 0;       // 0 until a status line arrives
    QByteArray ReasonPhrase;
    qint64 ContentLength = -1;     // -1 when absent, negative or not a number
    QByteArray TransferCoding;     // lowercased
    QByteArray ContentType;        // lowercased
    bool ContentRangeSeen = false;
    QByteArray ContentRangeBegin;  // "bytes 100-199/1000" gives "100" and "199"
    QByteArray ContentRangeEnd;
    bool AcceptRangesSeen = false;
    QByteArray AcceptRanges;
    bool LocationSeen = false;
    QByteArray Location;           // the value as sent
    bool CloseAfter = true;        // the connection ends with this response
    bool Headerless = false;       // an HTML document arrived without a status line
};

class HttpHeaderParser {
public:
    // A line longer than this, or a header longer than MaxHeaderBytes, makes
    // the response unacceptable: the receive buffer must stay bounded.
    static constexpr qsizetype MaxLineBytes = 100 * 1024;
    static constexpr qsizetype MaxHeaderBytes = 300 * 1024;

    enum class Status { NeedMore, Complete, Error };
    struct Step {
        Status status;
        qsizetype consumed;  // bytes of `data` that were used up
    };

    // Starts a new response to a request of the given HTTP version ("1.0"
    // or "1.1"), which decides whether the connection stays open.
    void Reset(const QByteArray& requestVersion);

    // Reads the complete lines in `data`. Complete: the empty line that ends
    // the header was consumed (for a header-less HTML document nothing of it
    // is consumed; every byte belongs to the body). Error: ErrorText() says
    // why.
    Step Feed(const char* data, qsizetype size);

    const HttpResponseHead& Head() const { return head_; }
    const QByteArray& ErrorText() const { return error_; }

private:
    void handleLine(const QByteArray& line);
    void handleStatusLine(const QByteArray& line);
    void handleField(const QByteArray& name, const QByteArray& value);
    bool startsHtmlDocument(const char* data, qsizetype size, bool& undecided) const;

    QByteArray requestVersion_ = "1.0";
    HttpResponseHead head_;
    qsizetype headerBytes_ = 0;
    qsizetype scanned_ = 0;  // bytes of the incomplete line already searched for LF
    bool firstLine_ = true;
    QByteArray error_;
};

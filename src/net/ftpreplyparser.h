#pragma once
// Reply lines of an FTP control connection (RFC 959 section 4.2). The
// connection appends what it receives; the client takes complete lines out
// one at a time. No sockets here, so every rule can be tested with bytes.

#include <QByteArray>
#include <QByteArrayView>

struct FtpReplyLine {
    QByteArray text;      // without its line end
    bool hasCode = false; // the line carries a reply code
    int code = 0;
    bool final = false;   // the line ends a reply
};

class FtpReplyParser {
public:
    // The control connection's reply buffer: a line, line end included,
    // must fit into it.
    static constexpr qsizetype kCapacity = 32768;

    explicit FtpReplyParser(qsizetype capacity = kCapacity) : capacity_(capacity) {}

    // With AcceptLF a line ends at a line feed alone; without it only at
    // carriage return and line feed.
    void setAcceptLF(bool acceptLF) { acceptLF_ = acceptLF; }
    void feed(QByteArrayView bytes);

    enum class Status { NeedMore, Line, Overflow };
    // Takes the next complete line. Overflow: a line does not fit into the
    // buffer; the parser is then of no further use until reset().
    Status next(FtpReplyLine& line);

    void reset();

private:
    void classify(FtpReplyLine& line);

    QByteArray buffer_;
    qsizetype start_ = 0;    // first byte not yet taken
    qsizetype scanned_ = 0;  // bytes after start_ known to hold no line end
    qsizetype capacity_;
    bool acceptLF_ = true;
    int openCode_ = -1;      // code of the multi-line reply in progress
};

// The code at the start of a reply text: digits, read as a number; a value
// too large for any reply is held at 999999999. -1 when the text does not
// begin with a digit.
int FtpReplyCode(QByteArrayView text, qsizetype* digitsEnd = nullptr);

// The number of a "213" reply to SIZE: after the code, optional blanks, an
// optional sign and decimal digits (what follows the digits is ignored). A
// number beyond 64 bits is no size and gives 0, as does a reply without
// digits; 0 makes the uploader send the whole file.
qint64 FtpSizeReply(QByteArrayView reply);

// Fuzzes what an FTP server sends on the control connection: the reply-line
// parser (line feed alone accepted or not, any slicing of the bytes, a small
// or the normal buffer), the reply code, and what the client reads out of
// single replies: the PASV address, the SIZE number, the one-time password
// challenge and the answer computed for it.
// The first byte picks the parser's options and the slice size; the rest is
// the server's byte stream.

#include "fuzzcheck.h"
#include "net/ftpaddress.h"
#include "net/ftpreplyparser.h"
#include "net/otp.h"

#include <QList>

namespace {

// The lines the parser must give, found independently: a line ends at a line
// feed (without AcceptLF only at one preceded by a carriage return of the
// same line) and loses its trailing CR and LF bytes.
struct ExpectedLine {
    QByteArray text;
    qsizetype rawSize;  // with its line end
};

QList<ExpectedLine> expectedLines(const QByteArray& input, bool acceptLF) {
    QList<ExpectedLine> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (input[i] != '\n' || !(acceptLF || (i > start && input[i - 1] == '\r')))
            continue;
        qsizetype end = i;
        while (end > start && (input[end - 1] == '\r' || input[end - 1] == '\n'))
            --end;
        lines.append({input.mid(start, end - start), i + 1 - start});
        start = i + 1;
    }
    return lines;
}

void checkReplyText(const QByteArray& text) {
    // The PASV address: refused, or an IPv4 address and port that read
    // back the same from the canonical form.
    if (const std::optional<FtpHostPort> passive = ParsePassiveReply(text)) {
        FUZZ_CHECK(passive->address.protocol() == QAbstractSocket::IPv4Protocol);
        const quint32 ip = passive->address.toIPv4Address();
        const QByteArray canonical = "227 Entering Passive Mode (" + QByteArray::number(ip >> 24) + "," +
                                     QByteArray::number((ip >> 16) & 255) + "," + QByteArray::number((ip >> 8) & 255) +
                                     "," + QByteArray::number(ip & 255) + "," +
                                     QByteArray::number(passive->port >> 8) + "," +
                                     QByteArray::number(passive->port & 255) + ")";
        const std::optional<FtpHostPort> again = ParsePassiveReply(canonical);
        FUZZ_CHECK(again && again->address == passive->address && again->port == passive->port);
    }

    // The SIZE number is one the text holds in decimal.
    const qint64 size = FtpSizeReply(text);
    if (size != 0)
        FUZZ_CHECK(text.contains(QByteArray::number(size < 0 ? -size : size)));

    // The challenge: a bounded sequence and a seed of 1 to 16 small letters
    // and digits; the answer is six dictionary words.
    if (std::optional<OtpChallenge> challenge = FindOtpChallenge(text)) {
        FUZZ_CHECK(challenge->sequence >= 0 && challenge->sequence <= kOtpMaxSequence);
        FUZZ_CHECK(!challenge->seed.isEmpty() && challenge->seed.size() <= 16);
        for (char c : challenge->seed)
            FUZZ_CHECK((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'));
        // Every step is one hash: keep the count small so that fuzzing stays fast.
        challenge->sequence %= 50;
        const QByteArray answer = OtpAnswer(*challenge, text.left(64));
        const QList<QByteArray> words = answer.split(' ');
        FUZZ_CHECK(words.size() == 6);
        for (const QByteArray& word : words) {
            FUZZ_CHECK(!word.isEmpty() && word.size() <= 4);
            for (char c : word)
                FUZZ_CHECK(c >= 'A' && c <= 'Z');
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const bool acceptLF = control & 1;
    const qsizetype capacity = (control & 2) ? 16 + (control >> 4) * 4 : FtpReplyParser::kCapacity;
    const qsizetype slice = 1 + ((control >> 2) & 3) * 7;

    FtpReplyParser parser(capacity);
    parser.setAcceptLF(acceptLF);
    const QList<ExpectedLine> expected = expectedLines(input, acceptLF);
    QList<QByteArray> got;
    bool overflow = false;
    int openCode = -1;
    for (qsizetype next = 0; next < input.size() && !overflow; next += slice) {
        parser.feed(QByteArrayView(input).sliced(next, std::min(slice, input.size() - next)));
        FtpReplyLine line;
        for (;;) {
            const FtpReplyParser::Status status = parser.next(line);
            if (status == FtpReplyParser::Status::NeedMore)
                break;
            if (status == FtpReplyParser::Status::Overflow) {
                overflow = true;
                break;
            }
            FUZZ_CHECK(line.text.size() < capacity);
            if (acceptLF)
                FUZZ_CHECK(!line.text.contains('\n'));
            FUZZ_CHECK(!line.text.contains("\r\n"));
            FUZZ_CHECK(!line.text.endsWith('\r') && !line.text.endsWith('\n'));
            // A code is the text's own; a multi-line reply ends only at its code.
            FUZZ_CHECK(!line.final || line.hasCode);
            if (line.hasCode) {
                FUZZ_CHECK(line.code == FtpReplyCode(line.text) && line.code >= 0);
                FUZZ_CHECK(openCode < 0 || line.code == openCode);
            }
            if (line.final)
                openCode = -1;
            else if (line.hasCode)
                openCode = line.code;
            got.append(line.text);
            checkReplyText(line.text);
        }
    }
    // However the bytes were sliced, the lines are those of the stream, in
    // order; a line that does not fit is refused, never cut.
    FUZZ_CHECK(got.size() <= expected.size());
    for (qsizetype i = 0; i < got.size(); ++i)
        FUZZ_CHECK(got[i] == expected[i].text);
    if (!overflow)
        FUZZ_CHECK(got.size() == expected.size());
    else
        FUZZ_CHECK(got.size() == expected.size() || expected[got.size()].rawSize >= capacity);
    return 0;
}

#include "net/ftpreplyparser.h"
#include "support/testutil.h"

#include <gtest/gtest.h>

namespace {

// Feeds `bytes` in pieces of `piece` bytes and collects every line.
QList<FtpReplyLine> parse(FtpReplyParser& parser, const QByteArray& bytes, qsizetype piece = 1 << 20) {
    QList<FtpReplyLine> lines;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        parser.feed(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
        FtpReplyLine line;
        while (parser.next(line) == FtpReplyParser::Status::Line)
            lines.append(line);
    }
    return lines;
}

TEST(FtpReplyParser, SplitsLinesFedInAnyPiecesAndCutsTheLineEnds) {
    for (qsizetype piece : {1, 2, 5, 100}) {
        FtpReplyParser parser;
        const auto lines = parse(parser, "220 Ready\r\n331 Password\r\r\n230 In\n", piece);
        ASSERT_EQ(lines.size(), 3) << piece;
        EXPECT_EQ(lines[0].text, "220 Ready");
        EXPECT_EQ(lines[1].text, "331 Password");
        EXPECT_EQ(lines[2].text, "230 In");
        EXPECT_EQ(lines[2].code, 230);
    }
}

TEST(FtpReplyParser, WithoutAcceptLFOnlyCarriageReturnLineFeedEndsALine) {
    FtpReplyParser parser;
    parser.setAcceptLF(false);
    const auto lines = parse(parser, "220 one\ntwo\r\n");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].text, "220 one\ntwo");
}

TEST(FtpReplyParser, AMultiLineReplyEndsOnlyAtItsOwnCodeFollowedByASpace) {
    FtpReplyParser parser;
    const auto lines = parse(parser, "220-Welcome\r\n 230 indented\r\n2024 a year\r\n220-more\r\n220 Ready\r\n"
                                     "331 Next\r\n");
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[0].hasCode && !lines[0].final);
    EXPECT_FALSE(lines[1].hasCode);
    EXPECT_FALSE(lines[2].hasCode);  // text inside the reply, not a code
    EXPECT_TRUE(lines[3].hasCode && !lines[3].final);
    EXPECT_TRUE(lines[4].final && lines[4].code == 220);
    EXPECT_TRUE(lines[5].final && lines[5].code == 331);
}

TEST(FtpReplyParser, LinesWithoutADigitFirstCarryNoCodeOutsideAReply) {
    FtpReplyParser parser;
    const auto lines = parse(parser, "hello\r\n 220 x\r\n999999999999 big\r\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_FALSE(lines[0].hasCode);
    EXPECT_FALSE(lines[1].hasCode);
    EXPECT_TRUE(lines[2].final);
    EXPECT_EQ(lines[2].code, 999999999);
}

TEST(FtpReplyParser, ALineThatFillsTheBufferIsTakenOneByteMoreOverflows) {
    const QByteArray fits = "220 " + QByteArray(FtpReplyParser::kCapacity - 6, 'a') + "\r\n";
    FtpReplyParser parser;
    EXPECT_EQ(parse(parser, fits + fits, 1000).size(), 2);

    FtpReplyParser tooLong;
    tooLong.feed("220 " + QByteArray(FtpReplyParser::kCapacity - 5, 'a') + "\r\n");
    FtpReplyLine line;
    EXPECT_EQ(tooLong.next(line), FtpReplyParser::Status::Overflow);

    // Without a line end the overflow is found as soon as the buffer is full.
    FtpReplyParser endless;
    endless.feed(QByteArray(FtpReplyParser::kCapacity - 1, 'a'));
    EXPECT_EQ(endless.next(line), FtpReplyParser::Status::NeedMore);
    endless.feed("a");
    EXPECT_EQ(endless.next(line), FtpReplyParser::Status::Overflow);
}

}  // namespace

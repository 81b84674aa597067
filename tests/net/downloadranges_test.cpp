// The downloader's arithmetic: ranges (64-bit, tiny documents), which range
// replies are written, the document name shown, and the rate without a
// passing millisecond.

#include "net/downloadranges.h"
#include "net/downloadstats.h"

#include <gtest/gtest.h>

namespace {

QList<QList<qint64>> split(qint64 length, int parts) {
    QList<QList<qint64>> out;
    for (const DownloadRange& r : SplitDocument(length, parts))
        out << QList<qint64>{r.StartOffset, r.EndOffset, r.LastByte};
    return out;
}

TEST(DownloadRanges, EveryByteOnceWithinTheDocumentIn64Bits) {
    using L = QList<QList<qint64>>;
    EXPECT_EQ(split(1000, 2), L({{0, 500, 500}, {501, 1000, 999}}));
    EXPECT_EQ(split(8, 4), L({{0, 2, 2}, {3, 5, 5}, {6, 8, 7}}));  // the fourth would start past the end
    EXPECT_EQ(split(1, 2), L({{0, 0, 0}}));
    EXPECT_EQ(split(2, 3), L({{0, 0, 0}, {1, 1, 1}}));
    EXPECT_EQ(split(3221225473, 2), L({{0, 1610612736, 1610612736}, {1610612737, 3221225473, 3221225472}}));
    EXPECT_TRUE(SplitDocument(0, 2).isEmpty());
    // Any length and count: the ranges cover the document once, in order.
    for (qint64 length : {1, 2, 3, 7, 99, 100, 101, 4096}) {
        for (int parts = 2; parts <= 9; ++parts) {
            qint64 next = 0;
            for (const DownloadRange& r : SplitDocument(length, parts)) {
                EXPECT_EQ(r.StartOffset, next) << length << "/" << parts;
                EXPECT_GE(r.Span(), 1);
                next = r.LastByte + 1;
            }
            EXPECT_EQ(next, length) << length << "/" << parts;
        }
    }
}

TEST(DownloadRanges, OnlyA206FromTheAskedByteIsWritten) {
    EXPECT_TRUE(IsAskedRange(206, "501", 501));
    EXPECT_TRUE(IsAskedRange(206, "3221225473", 3221225473));
    EXPECT_FALSE(IsAskedRange(200, "501", 501));
    EXPECT_FALSE(IsAskedRange(206, "500", 501));
    EXPECT_FALSE(IsAskedRange(206, "", 0));  // a 206 without Content-Range (multipart)
    EXPECT_FALSE(IsAskedRange(206, "*", 0));
}

TEST(DownloadRanges, ARangeReplyIsUsedOnlyForTheBytesItCarries) {
    const RangeAsk second{501, 999, false, 1000};
    const RangeAsk first{0, 500, true, 1000};
    const RangeAsk firstContinued{300, 500, true, 1000};
    using U = RangeReplyUse;
    EXPECT_EQ(JudgeRangeReply(206, "501", 499, second), U::AskedBytes);
    EXPECT_EQ(JudgeRangeReply(206, "500", 500, second), U::Refused);
    // Without Content-Range only the exact length of the asked range will do.
    EXPECT_EQ(JudgeRangeReply(206, "", 499, second), U::AskedBytes);
    EXPECT_EQ(JudgeRangeReply(206, "", 498, second), U::Refused);
    EXPECT_EQ(JudgeRangeReply(206, "", -1, second), U::Refused);
    // A 200 of the whole document serves only the range that starts at 0,
    // also when it was being continued further on.
    EXPECT_EQ(JudgeRangeReply(200, "", 1000, first), U::WholeDocument);
    EXPECT_EQ(JudgeRangeReply(200, "", 1000, firstContinued), U::WholeDocument);
    EXPECT_EQ(JudgeRangeReply(200, "", 1000, second), U::Refused);
    EXPECT_EQ(JudgeRangeReply(200, "", 999, first), U::Refused);
    EXPECT_EQ(JudgeRangeReply(200, "", -1, first), U::Refused);
    EXPECT_EQ(JudgeRangeReply(416, "", 0, first), U::Refused);
}

TEST(DownloadRanges, TheMissingBytesOfAContinuedDocumentAreSplitAmongTheConnections) {
    using S = QList<ByteSpan>;
    EXPECT_EQ(MergeSpans({{50, 60}, {0, 10}, {10, 20}, {55, 70}, {30, 30}}), S({{0, 20}, {50, 70}}));
    EXPECT_EQ(MergeSpans({{-5, 10}, {90, 120}}, 100), S({{0, 10}, {90, 100}}));
    EXPECT_EQ(SpanBytes({{0, 20}, {50, 70}}), 40);
    EXPECT_EQ(MissingSpans({{10, 20}, {50, 70}}, 100), S({{0, 10}, {20, 50}, {70, 100}}));
    EXPECT_EQ(MissingSpans({}, 5), S({{0, 5}}));
    EXPECT_TRUE(MissingSpans({{0, 100}}, 100).isEmpty());

    // The largest piece is halved until every connection has one; a piece
    // ending at the document's end asks up to the length.
    const auto ranges = [](const S& missing, qint64 length, int count) {
        QList<QList<qint64>> out;
        for (const DownloadRange& r : SplitMissing(missing, length, count))
            out << QList<qint64>{r.StartOffset, r.EndOffset, r.LastByte};
        return out;
    };
    using L = QList<QList<qint64>>;
    EXPECT_EQ(ranges({{30000, 60000}, {70000, 100000}}, 100000, 2), L({{30000, 59999, 59999}, {70000, 100000, 99999}}));
    EXPECT_EQ(ranges({{0, 100}}, 100, 3), L({{0, 24, 24}, {25, 49, 49}, {50, 100, 99}}));
    EXPECT_EQ(ranges({{0, 10}, {20, 30}, {40, 50}}, 100, 2), L({{0, 9, 9}, {20, 29, 29}, {40, 49, 49}}));
    EXPECT_EQ(ranges({{7, 8}}, 8, 4), L({{7, 8, 7}}));  // one byte cannot be split
    // However split, every missing byte is asked for once.
    for (int count = 1; count <= 8; ++count) {
        qint64 bytes = 0;
        for (const DownloadRange& r : SplitMissing({{3, 700}, {900, 1001}}, 1001, count))
            bytes += r.Span();
        EXPECT_EQ(bytes, 697 + 101);
    }
}

TEST(DownloadRanges, DocNameDecodesEscapesAndPlus) {
    EXPECT_EQ(DecodeDocName("my%20file+v%2B1.bin"), "my file v+1.bin");
    EXPECT_EQ(DecodeDocName("%D6%D0.txt"), "\xD6\xD0.txt");  // GBK bytes stay bytes
}

TEST(DownloadStats, RatesInKilobitsAndNoDivisionByZero) {
    EXPECT_DOUBLE_EQ(KilobitsPerSecond(1000, 8, 0.0), 1000.0);
    EXPECT_DOUBLE_EQ(KilobitsPerSecond(5000, 0, 123.5), 123.5);
    EXPECT_EQ(TickDifference(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_DOUBLE_EQ(PercentOf(250, 1000), 25.0);
    EXPECT_DOUBLE_EQ(PercentOf(250, 0), 0.0);
}

}  // namespace

#include "support/testutil.h"
#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <gtest/gtest.h>

namespace {

TEST(PickField, SplitsAtTheSeparatorAndAtBlanks) {
    EXPECT_EQ(SplitItems('|', "a b|c"), (QList<QByteArray>{"a", "b", "c"}));
    EXPECT_EQ(PickField('|', "x y|z", 1), "y");
    EXPECT_EQ(SplitItems('|', "  a  |  b  "), (QList<QByteArray>{"a", "b"}));
}

TEST(PickField, EmptyItemsBetweenLeadingAndTrailingSeparators) {
    EXPECT_EQ(PickField('|', "a||b", 1), "");
    EXPECT_EQ(SplitItems('|', "a||b"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(SplitItems('|', "|a"), (QList<QByteArray>{"", "a"}));
    EXPECT_EQ(PickField('|', "a|", 1), "");
    // A trailing separator followed by blanks adds no empty item.
    EXPECT_EQ(SplitItems('|', "a| "), (QList<QByteArray>{"a"}));
}

TEST(PickField, FewerThanTwoItemsGiveTheWholeTextUnchanged) {
    EXPECT_EQ(PickField('|', "abc", 5), "abc");
    EXPECT_EQ(PickField('|', " \"q\" ", 3), " \"q\" ");
    EXPECT_EQ(PickField('|', "", 2), "");
}

TEST(PickField, AnIndexBeyondTheLastItemIsAnError) {
    try {
        PickField('|', "a|b", 6);
        FAIL() << "no error";
    } catch (const EStringListError& e) {
        EXPECT_EQ(e.message(), "List index out of bounds (6)");
    }
}

TEST(PickField, QuotedItemsKeepBlanksSeparatorsAndDoubledQuotes) {
    EXPECT_EQ(PickField('|', "\"x y\"|z", 0), "x y");
    EXPECT_EQ(PickField('|', "\"x y\"|z", 1), "z");
    EXPECT_EQ(PickField('|', "a|\"p|q \"\"r\"\"\"|c", 1), "p|q \"r\"");
    // Without a closing quote the item runs to the end less its last character.
    EXPECT_EQ(PickField('|', "a|\"open end", 1), "open en");
}

TEST(PickField, NeverSplitsOnTheSecondByteOfADoubleByteCharacter) {
    // 0x817C is a GBK character whose second byte is "|".
    const QByteArray tricky("\x81|\xb0\xa1", 4);
    EXPECT_EQ(SplitItems('|', tricky + "|b"), (QList<QByteArray>{tricky, "b"}));
    // A GBK character whose second byte is a blank-valued byte cannot occur,
    // but one whose first byte is high must not be taken for a blank.
    EXPECT_EQ(SplitItems('|', "名 字|值"_gbk), (QList<QByteArray>{"名"_gbk, "字"_gbk, "值"_gbk}));
}

TEST(PickField, CommaListsOfSkinNames) {
    EXPECT_EQ(SplitItems(',', "Blue,Green , Night"), (QList<QByteArray>{"Blue", "Green", "Night"}));
}

TEST(QuoteItem, QuotedItemsReadBackExactly) {
    const QList<QByteArray> items = {"plain", "with space", "with|bar", "", "\"quoted\"", "tab\there", "名 字"_gbk};
    QByteArray record;
    for (const QByteArray& item : items)
        record += (record.isEmpty() ? "" : "|") + QuoteItem('|', item);
    // An empty first item needs nothing special: it is quoted.
    EXPECT_EQ(SplitItems('|', record), items);
    EXPECT_EQ(QuoteItem('|', "plain"), "plain");
}

TEST(SplitWithPositions, TrimsPiecesDropsEmptyOnesAndCountsPositionsFromOne) {
    QList<PositionedItem> list{{"stale", 1}};
    SplitWithPositions("  a | b ||c ", list, "|");
    EXPECT_EQ(list, (QList<PositionedItem>{{"a", 3}, {"b", 6}, {"c", 11}}));
    SplitWithPositions("", list, "|");
    EXPECT_TRUE(list.isEmpty());
    SplitWithPositions("    ", list, "|");
    EXPECT_TRUE(list.isEmpty());
}

TEST(SplitWithPositions, APieceOfBlanksGivesAnEmptyItemAndQuotesMeanNothing) {
    QList<PositionedItem> list;
    SplitWithPositions("a| |\"b c\"|", list, "|");
    EXPECT_EQ(list, (QList<PositionedItem>{{"a", 1}, {"", 3}, {"\"b c\"", 5}}));
    SplitWithPositions("|x", list, "|");
    EXPECT_EQ(list, (QList<PositionedItem>{{"x", 2}}));
}

TEST(SplitWithPositions, ListingLinesWithGbkNamesKeepTheirFields) {
    QList<PositionedItem> list;
    const QByteArray name("\x81|\xb0\xa1.txt", 8);  // second byte of the first character is "|"
    SplitWithPositions(name + "|12|txt|0|5", list, "|");
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list[0].text, name);
    EXPECT_EQ(list[1].text, "12");
}

TEST(CountOccurrences, CountsNonOverlappingOccurrences) {
    EXPECT_EQ(CountOccurrences("a,b,c", ","), 2);
    EXPECT_EQ(CountOccurrences("abc", ","), 0);
    EXPECT_EQ(CountOccurrences("aaaa", "aa"), 4);  // length removed, as the rule says
}

TEST(CutLines, CutsAtCrLfOrCrLfAndStopsAtAZeroByte) {
    EXPECT_EQ(CutLines("a\r\nb\nc\rd"), (QList<QByteArray>{"a", "b", "c", "d"}));
    EXPECT_EQ(CutLines("a\r\n"), (QList<QByteArray>{"a"}));
    EXPECT_EQ(CutLines("a\n\nb\n"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(CutLines(""), QList<QByteArray>{});
    EXPECT_EQ(CutLines(QByteArray("a\nb\0c\nd", 7)), (QList<QByteArray>{"a", "b"}));
    EXPECT_EQ(CutLines("\n"), (QList<QByteArray>{""}));
}

}  // namespace

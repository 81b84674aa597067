#include "disk/gui/folderlisting.h"
#include "platform/gui/listview.h"
#include "support/modelchanges.h"
#include <QTreeView>
#include "support/testutil.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

QStringList rowTexts(const TListView& list, int row) {
    QStringList texts{list.Caption(row)};
    for (int i = 0; i < 6; ++i)
        texts.append(list.SubItem(row, i));
    return texts;
}

class FolderListingTest : public testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    TListView lv1;
};

TEST_F(FolderListingTest, RequestBodyIsUnescaped) {
    EXPECT_EQ(ListingRequestBody(7, 1, "a b&c", "tok=1"),
              "action=mydisk&folder_id=7&goback=1&username=a b&c&password=tok=1");
}

TEST_F(FolderListingTest, FolderAndFileRowsInReplyOrder) {
    FillListing(lv1, {"照片|0|x|1|12|2024-01-02|5|0"_gbk, "report.pdf|1536|pdf|0|34|2024-02-03|7|2"});
    ASSERT_EQ(lv1.Count(), 2);
    EXPECT_EQ(rowTexts(lv1, 0), (QStringList{QString::fromUtf8("照片"), "-", QString::fromUtf8("文件夹"),
                                             "2024-01-02", "5", "0", "12"}));
    EXPECT_EQ(rowTexts(lv1, 1),
              (QStringList{"report.pdf", "1.50KB", QString::fromUtf8("pdf文件"), "2024-02-03", "7", "2", "34"}));
    EXPECT_TRUE(IsFolderRow(lv1, 0));
    EXPECT_TRUE(IsFileRow(lv1, 1));
}

TEST_F(FolderListingTest, AnEmptyReplyGivesThePlaceholderRow) {
    FillListing(lv1, {"a|1|t|0|1|c|v|d"});
    FillListing(lv1, {});
    ASSERT_EQ(lv1.Count(), 1);
    EXPECT_EQ(lv1.Caption(0), QString::fromUtf8("...暂无文件..."));
    EXPECT_EQ(lv1.SubItem(0, ListingColumn::Size), "");
    EXPECT_EQ(lv1.SubItem(0, ListingColumn::Id), "");
    EXPECT_FALSE(IsFileRow(lv1, 0));
    EXPECT_FALSE(IsFolderRow(lv1, 0));
}

TEST_F(FolderListingTest, IsFolderSpellings) {
    for (const char* yes : {"1", "2", "true", "TRUE", "True"})
        EXPECT_TRUE(ParseListingLine(QByteArray("d|0|x|") + yes + "|1|c|v|w").IsFolder) << yes;
    for (const char* no : {"0", "False", "false"})
        EXPECT_FALSE(ParseListingLine(QByteArray("f|1|x|") + no + "|1|c|v|w").IsFolder) << no;
}

TEST_F(FolderListingTest, EmptyFieldsAreDroppedAndLaterFieldsMoveForward) {
    // An empty Type: the Id "5" is read as the IsFolder flag, so the entry
    // shows as a folder whose Id is the creation time "c".
    const RemoteEntry e = ParseListingLine("a.txt|10||0|5|c|v|d|extra");
    EXPECT_TRUE(e.IsFolder);
    EXPECT_EQ(e.Id, "c");
    EXPECT_EQ(e.Downloads, "extra");
}

TEST_F(FolderListingTest, ALineThatCannotBePresentedStopsTheFillKeepingEarlierRows) {
    try {
        FillListing(lv1, {"a|1|t|0|1|c|v|d", "b|notanumber|t|0|2|c|v|d", "c|1|t|0|3|c|v|d"});
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.message(), "'notanumber' is not a valid integer value");
    }
    ASSERT_EQ(lv1.Count(), 1);
    EXPECT_EQ(lv1.Caption(0), "a");
    EXPECT_THROW(ParseListingLine("short|1|t|0"), EStringListError);
    EXPECT_THROW(ParseListingLine("f|1|t|maybe|1|c|v|d"), EConvertError);
    EXPECT_THROW(ParseListingLine("f|2147483648|t|0|1|c|v|d"), EConvertError);
}

TEST_F(FolderListingTest, AFillIsAnnouncedAsOneModelResetHoweverManyRows) {
    FillListing(lv1, {"old|1|t|0|1|c|v|d"});
    QList<QByteArray> lines;
    for (int i = 0; i < 5000; ++i)
        lines.append("f" + QByteArray::number(i) + "|1|t|0|" + QByteArray::number(i) + "|c|v|d");
    ModelChangeRecorder recorder(lv1.reportView()->model());
    FillListing(lv1, lines);
    FillListing(lv1, {});  // the placeholder row too
    using Change = ModelChangeRecorder::Change;
    EXPECT_EQ(recorder.changes, QList<Change>({Change::ModelReset, Change::ModelReset}));
    ASSERT_EQ(lv1.Count(), 1);
    EXPECT_EQ(lv1.Caption(0), QString::fromUtf8("...暂无文件..."));
}

TEST_F(FolderListingTest, ClickTakesTheLastSelectedFolder) {
    FillListing(lv1, {"f1|0|x|1|11|c|v|d", "file|5|t|0|20|c|v|d", "f2|0|x|1|12|c|v|d"});
    int current = 0;
    QByteArray kind;
    lv1.SetSelected(1, true);
    TakeListingSelection(lv1, current, kind);
    EXPECT_EQ(kind, "file");
    EXPECT_EQ(current, 0);
    lv1.SetSelected(0, true);
    lv1.SetSelected(2, true);
    TakeListingSelection(lv1, current, kind);
    EXPECT_EQ(kind, "folder");
    EXPECT_EQ(current, 12);
    lv1.SetSelected(0, false);
    lv1.SetSelected(1, false);
    lv1.SetSelected(2, false);
    TakeListingSelection(lv1, current, kind);
    EXPECT_EQ(kind, "file");
    EXPECT_EQ(current, 12);  // a click that leaves no folder selected keeps the id
}

}  // namespace

#include "platform/gui/listview.h"
#include "support/modelchanges.h"
#include "support/testutil.h"
#include "upload/gui/uploadqueuemodel.h"
#include "upload/uploadqueue.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

class UploadQueueTest : public testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QStringLiteral("/");
    }
    QString make(const QString& name, int size) {
        WriteFileBytes(folder + name, QByteArray(size, 'x'));
        return folder + name;
    }

    QTemporaryDir dir;
    QString folder;
    TListView lv2;
    UploadQueue queue;
    UploadQueueModel model{queue, lv2};
};

TEST_F(UploadQueueTest, FileRowsJoinFolderAndNameByConcatenation) {
    ASSERT_TRUE(queue.AddLocalFile(make(QStringLiteral("a.txt"), 1536)));
    ASSERT_TRUE(queue.AddLocalFile(folder + QStringLiteral("a.txt")));  // duplicates are allowed
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.FileName(0), "a.txt");
    EXPECT_EQ(queue.FolderPath(0), folder);
    EXPECT_EQ(queue.FullPath(0), folder + QStringLiteral("a.txt"));
    EXPECT_EQ(lv2.SubItem(0, QueueColumn::Size), "1.50KB");
    EXPECT_EQ(queue.Status(0), QueueStatus::Queued());
}

TEST_F(UploadQueueTest, AddedFilesAreAnnouncedAsOneInsertionKeepingTheSelection) {
    queue.AddLocalFile(make(QStringLiteral("first.bin"), 1));
    lv2.SetSelected(0, true);
    QStringList paths;
    for (int i = 0; i < 300; ++i)
        paths.append(make(QStringLiteral("f%1.bin").arg(i, 3, 10, QLatin1Char('0')), 1));
    ModelChangeRecorder recorder(lv2.reportView()->model());
    EXPECT_TRUE(queue.AddLocalFolder(dir.path()).isEmpty());
    EXPECT_EQ(queue.AddLocalFiles(paths.mid(0, 2) + QStringList{folder + QStringLiteral("a>b")}),
              QStringList{QStringLiteral("a>b")});
    EXPECT_TRUE(queue.AddDroppedPaths(paths.mid(5, 3)).isEmpty());
    using Change = ModelChangeRecorder::Change;
    EXPECT_EQ(recorder.changes, QList<Change>({Change::RowsInserted, Change::RowsInserted, Change::RowsInserted}));
    EXPECT_EQ(recorder.rows, (QList<QPair<int, int>>{{1, 301}, {302, 303}, {304, 306}}));
    ASSERT_EQ(queue.Count(), 307);
    EXPECT_TRUE(lv2.Selected(0));
    EXPECT_EQ(lv2.SelectedRows(), QList<int>{0});
    EXPECT_EQ(queue.FileName(302), QStringLiteral("f000.bin"));
    EXPECT_EQ(queue.FileName(306), QStringLiteral("f007.bin"));
    EXPECT_LT(queue.RowKey(302), queue.RowKey(303));
}

TEST_F(UploadQueueTest, AFolderAddsItsNonEmptyFilesOnly) {
    make(QStringLiteral("one.bin"), 10);
    make(QStringLiteral("empty.bin"), 0);
    QDir(folder).mkdir(QStringLiteral("sub"));
    WriteFileBytes(folder + QStringLiteral("sub/inner.bin"), "abc");
    EXPECT_TRUE(queue.AddLocalFolder(dir.path()).isEmpty());  // no trailing separator given
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.FileName(0), "one.bin");
    EXPECT_EQ(queue.FolderPath(0), folder);  // exactly one separator
    queue.Clear();
    queue.AddLocalFolder(folder);
    EXPECT_EQ(queue.FolderPath(0), folder);
}

TEST_F(UploadQueueTest, FolderCommandUsesSixtyFourBitSizes) {
    QFile big(folder + QStringLiteral("big.iso"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(3LL * 1024 * 1024 * 1024));  // sparse 3 GiB
    big.close();
    queue.AddLocalFolder(folder);
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(lv2.SubItem(0, QueueColumn::Size), "3.00GB");
}

TEST_F(UploadQueueTest, DropsAddFilesInDropOrderAndSkipFoldersAndMissingPaths) {
    const QString b = make(QStringLiteral("b.txt"), 1);
    const QString a = make(QStringLiteral("a.txt"), 0);  // empty files may be dropped
    const QStringList refused =
        queue.AddDroppedPaths({b, dir.path(), folder + QStringLiteral("missing.txt"), a});
    EXPECT_TRUE(refused.isEmpty());
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.FileName(0), "b.txt");
    EXPECT_EQ(queue.FileName(1), "a.txt");
}

TEST_F(UploadQueueTest, LongDroppedPathsAreNotCut) {
    QString deep = folder;
    for (int i = 0; i < 6; ++i) {
        deep += QString(50, QChar('d' + i)) + QStringLiteral("/");
        ASSERT_TRUE(QDir().mkpath(deep));
    }
    WriteFileBytes(deep + QStringLiteral("file.txt"), "x");
    ASSERT_GT((deep + QStringLiteral("file.txt")).toUtf8().size(), 300);
    queue.AddDroppedPaths({deep + QStringLiteral("file.txt")});
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_EQ(queue.FolderPath(0), deep);
}

TEST_F(UploadQueueTest, NamesThatCannotReachTheSiteAreRefusedAndOthersAdded) {
    const QString good = make(QStringLiteral("good.txt"), 3);
    const QString bar = make(QStringLiteral("a|b.txt"), 3);
    const QString arrow = make(QStringLiteral("a>b.txt"), 3);
    const QString emoji = make(QString::fromUtf8("smile😀.txt"), 3);
    const QString chinese = make(QString::fromUtf8("中文 名.txt"), 3);
    const QStringList refused = queue.AddLocalFiles({bar, good, arrow, emoji, chinese});
    EXPECT_EQ(refused, (QStringList{"a|b.txt", "a>b.txt", QString::fromUtf8("smile😀.txt")}));
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.FileName(0), "good.txt");
    EXPECT_EQ(queue.FileName(1), QString::fromUtf8("中文 名.txt"));
    EXPECT_EQ(UnsupportedNameMessage({"x|y"}), QString::fromUtf8("文件名含有不支持的字符，无法上传：x|y"));
}

TEST_F(UploadQueueTest, ChecksFollowTheSelectionAndDeleteCheckedKeepsOrder) {
    for (const char* name : {"1", "2", "3", "4"})
        queue.AddLocalFile(make(QString::fromLatin1(name), 1));
    lv2.SetSelected(1, true);
    lv2.SetSelected(3, true);
    model.SyncChecksToSelection();
    EXPECT_FALSE(lv2.Checked(0));
    EXPECT_TRUE(lv2.Checked(1));
    EXPECT_TRUE(lv2.Checked(3));
    queue.DeleteChecked();
    ASSERT_EQ(queue.Count(), 2);
    EXPECT_EQ(queue.FileName(0), "1");
    EXPECT_EQ(queue.FileName(1), "3");
    queue.DeleteChecked();  // nothing checked: nothing removed
    EXPECT_EQ(queue.Count(), 2);
}

TEST_F(UploadQueueTest, RowsTakenOneAfterAnotherStaySelectedAsOneRangeWithoutASelectionSignal) {
    const QString file = make(QStringLiteral("f"), 1);
    for (int i = 0; i < 6; ++i)
        queue.AddLocalFile(file);
    lv2.SetSelected(5, true);  // the user's own selection stays
    int changes = 0;
    QObject::connect(&lv2, &TListView::SelectionChanged, &lv2, [&] { ++changes; });
    const auto markTaken = [&](int row) {
        model.SelectTaken(row);
        queue.SetChecked(row, true);
    };
    for (int row = 0; row < 4; ++row)
        markTaken(row);
    EXPECT_EQ(lv2.SelectedRows(), QList<int>{5});  // shown at the next tick
    model.Flush();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(lv2.SelectedRows(), (QList<int>{0, 1, 2, 3, 5}));
    EXPECT_EQ(lv2.reportView()->selectionModel()->selection().size(), 2);  // 0..3 and 5
    markTaken(4);  // bridges the gap
    EXPECT_TRUE(WaitFor([&] { return lv2.Selected(4); }, 5000));
    EXPECT_EQ(lv2.reportView()->selectionModel()->selection().size(), 1);
    for (int row = 0; row < 5; ++row)
        EXPECT_TRUE(lv2.Checked(row)) << row;
    EXPECT_FALSE(lv2.Checked(5));  // its check box follows only a selection change
    model.SyncChecksToSelection();
    EXPECT_TRUE(lv2.Checked(5));
}

}  // namespace

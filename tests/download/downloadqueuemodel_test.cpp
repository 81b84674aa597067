// The "下载队列" page's list over the download queue: 10,000 rows reach the
// view as one insertion and leave it as one reset (prints how long filling,
// showing and clearing took), and a row's progress reaches the view at most
// once per tick.

#include "download/downloadscheduler.h"
#include "download/gui/downloadqueuemodel.h"
#include "platform/gui/listview.h"
#include "support/httpscript.h"
#include "support/testutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

struct NoPresenter : DownloadPresenter {
    void FileEnded(int) override {}
};

TEST(DownloadQueueModel, TenThousandRowsAreFilledShownAndClearedAsOneChangeEach) {
    HttpScriptedServer silent;  // answers nothing: the running rows wait
    SiteSession session;
    session.SiteUrl = silent.url("/");
    NoPresenter presenter;
    DownloadScheduler queue(session, presenter);
    queue.SetOptions(1, 1);
    TListView lv3;
    lv3.SetColumns({{QStringLiteral("name"), 170}, {QStringLiteral("size"), 70}, {QStringLiteral("progress"), 50},
                    {QStringLiteral("rate"), 85}, {QStringLiteral("status"), 140}, {QStringLiteral("path"), 220}});
    DownloadQueueModel model(queue.Queue, lv3);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    QList<DownloadItem> items;
    for (int i = 0; i < 10000; ++i)
        items << DownloadItem{QByteArray::number(100000 + i), QStringLiteral("文件 %1.bin").arg(i, 5, 10, QLatin1Char('0')),
                              QStringLiteral("/nowhere/"), 1000, QStringLiteral("1000B")};
    QElapsedTimer clock;
    clock.start();
    queue.Add(items);
    QApplication::processEvents();
    const qint64 fill = clock.restart();
    lv3.resize(800, 500);
    lv3.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lv3));
    QApplication::processEvents();
    const qint64 show = clock.restart();
    QList<int> all;
    for (int row = 0; row < queue.Queue.Count(); ++row)
        all << row;
    queue.Remove(all, false);
    QApplication::processEvents();
    const qint64 clear = clock.elapsed();
    std::printf("[ figures  ] 10,000 queue rows: filled in %lld ms, shown in %lld ms, cleared in %lld ms\n", fill, show,
                clear);
    EXPECT_EQ(inserted.size(), 1);
    EXPECT_EQ(reset.size(), 1);
    EXPECT_EQ(lv3.Count(), 0);
}

TEST(DownloadQueueModel, RowChangesReachTheViewOncePerTick) {
    DownloadQueue queue;
    TListView lv3;
    lv3.SetColumns({{QStringLiteral("name"), 170}, {QStringLiteral("size"), 70}, {QStringLiteral("progress"), 50},
                    {QStringLiteral("rate"), 85}, {QStringLiteral("status"), 140}, {QStringLiteral("path"), 220}});
    DownloadQueueModel model(queue, lv3);
    QList<DownloadRow> rows(100);
    for (int i = 0; i < rows.size(); ++i)
        rows[i].Item.Name = QString::number(i);
    queue.Append(rows);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    for (int step = 0; step < 50; ++step)
        for (int row : {3, 97, 40})
            queue.Update(row, [&](DownloadRow& r) { r.Done = step; });
    EXPECT_EQ(changed.size(), 0);
    ASSERT_TRUE(changed.wait(1000));
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 3);
    EXPECT_EQ(changed[0][1].value<QModelIndex>().row(), 97);
    EXPECT_EQ(lv3.SubItem(40, DownloadColumn::Progress), QStringLiteral("49B"));
    queue.Update(5, [](DownloadRow& r) { r.State = RowState::Failed, r.Reason = QString::fromUtf8("磁盘空间不足"); });
    model.Flush();
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(lv3.SubItem(5, DownloadColumn::Status), QString::fromUtf8("下载失败：磁盘空间不足"));
}

}  // namespace

// When and what the desktop is told at the ends of transfers, and the
// tray's tooltip.

#include "notify/transfernotifier.h"

#include <QList>
#include <gtest/gtest.h>

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

struct RecordedNotices : NoticeSink {
    QList<DesktopNotice> shown;
    void Show(const DesktopNotice& notice) override { shown.append(notice); }
};

TEST(TransferNotifierTest, TellsTheEndsOfTransfersOnlyWhileTheWindowIsNotLookedAtAndTheOptionIsOn) {
    RecordedNotices sink;
    bool active = false;
    TransferNotifier notifier(sink, [&] { return active; });
    notifier.SiteName = u("演示网盘");

    notifier.UploadRunEnded(12, 0);
    notifier.UploadRunEnded(12, 2);
    notifier.UploadRunEnded(2, 2);
    notifier.UploadRunEnded(0, 0);  // nothing was in the run
    notifier.DownloadEnded(u("报告 1.pdf"), true);
    notifier.DownloadEnded(u("报告 1.pdf"), false);
    QStringList summaries;
    for (const DesktopNotice& n : sink.shown) {
        summaries << n.summary;
        EXPECT_EQ(n.body, u("演示网盘"));
    }
    EXPECT_EQ(summaries, (QStringList{u("上传完成：12 个文件"), u("上传结束：10 个文件完成，2 个失败"),
                                      u("上传失败：2 个文件"), u("下载完成：报告 1.pdf"), u("下载失败：报告 1.pdf")}));

    // The user sees the window: the status bar says it already.
    active = true;
    notifier.DownloadEnded(u("a.txt"), true);
    // Switched off in "传输设置".
    active = false;
    notifier.Enabled = false;
    notifier.UploadRunEnded(3, 0);
    EXPECT_EQ(sink.shown.size(), 5);
}

TEST(TransferNotifierTest, TheTrayTooltipNamesTheSiteAndTheRunningTransfer) {
    EXPECT_EQ(TrayToolTip(QString(), QString(), -1), QStringLiteral("Quellix"));
    EXPECT_EQ(TrayToolTip(u("演示网盘"), u("请选定本地文件进行上传"), -1), u("Quellix - 演示网盘\n请选定本地文件进行上传"));
    EXPECT_EQ(TrayToolTip(u("演示网盘"), u("【a.bin】上传中"), 42), u("Quellix - 演示网盘\n【a.bin】上传中\n当前进度：42%"));
}

}  // namespace

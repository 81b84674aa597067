#pragma once
// The desktop notifications at the ends of transfers. The windows report
// each end here; a notice goes to the sink only while notifications are on
// and the main window is not the active window (a user looking at the
// window sees the status bar already):
//
//   an upload run ended, every file sent    "上传完成：12 个文件"
//   some files failed                        "上传结束：10 个文件完成，2 个失败"
//   no file sent                             "上传失败：2 个文件"
//   a download finished                      "下载完成：name"
//   a download failed or found no file       "下载失败：name"
//
// The body names the site. The ends come in through two calls only, so
// that a queue of transfers reports the same way as the single download
// and the upload run do.

#include "platform/desktopnotice.h"

#include <QString>
#include <functional>

class TransferNotifier {
public:
    // `windowActive`: whether the main window is the active window now.
    TransferNotifier(NoticeSink& sink, std::function<bool()> windowActive);

    // The `notifications` option.
    bool Enabled = true;
    // The site's display name, the body of every notice.
    QString SiteName;

    // An upload run has come to rest at its end: `files` rows were in it,
    // `failed` of them are not on the server. A run the user paused or
    // cancelled is not reported.
    void UploadRunEnded(int files, int failed);
    // A download ended: `ok` when the whole file is on the disk.
    void DownloadEnded(const QString& name, bool ok);

    // The texts, for the windows and the tests.
    static DesktopNotice UploadNotice(int files, int failed, const QString& siteName);
    static DesktopNotice DownloadNotice(const QString& name, bool ok, const QString& siteName);

private:
    void show(const DesktopNotice& notice);

    NoticeSink& sink_;
    std::function<bool()> windowActive_;
};

// The tray icon's tooltip: the program, the site and what the transfers
// are doing. `statusText` is the status bar's text, `percent` the gauge
// (-1: no transfer running).
QString TrayToolTip(const QString& siteName, const QString& statusText, int percent);

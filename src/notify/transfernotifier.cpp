#include "notify/transfernotifier.h"

namespace {
QString u(const char* utf8) { return QString::fromUtf8(utf8); }
}  // namespace

TransferNotifier::TransferNotifier(NoticeSink& sink, std::function<bool()> windowActive)
    : sink_(sink), windowActive_(std::move(windowActive)) {}

DesktopNotice TransferNotifier::UploadNotice(int files, int failed, const QString& siteName) {
    DesktopNotice notice;
    notice.body = siteName;
    if (failed <= 0)
        notice.summary = u("上传完成：%1 个文件").arg(files);
    else if (failed >= files)
        notice.summary = u("上传失败：%1 个文件").arg(files);
    else
        notice.summary = u("上传结束：%1 个文件完成，%2 个失败").arg(files - failed).arg(failed);
    return notice;
}

DesktopNotice TransferNotifier::DownloadNotice(const QString& name, bool ok, const QString& siteName) {
    return DesktopNotice{(ok ? u("下载完成：") : u("下载失败：")) + name, siteName};
}

void TransferNotifier::UploadRunEnded(int files, int failed) {
    if (files > 0)
        show(UploadNotice(files, failed, SiteName));
}

void TransferNotifier::DownloadEnded(const QString& name, bool ok) { show(DownloadNotice(name, ok, SiteName)); }

void TransferNotifier::show(const DesktopNotice& notice) {
    if (!Enabled || (windowActive_ && windowActive_()))
        return;
    sink_.Show(notice);
}

QString TrayToolTip(const QString& siteName, const QString& statusText, int percent) {
    QString text = QStringLiteral("Quellix");
    if (!siteName.isEmpty())
        text += u(" - ") + siteName;
    if (!statusText.isEmpty())
        text += QLatin1Char('\n') + statusText;
    if (percent >= 0)
        text += u("\n当前进度：%1%").arg(percent);
    return text;
}

#include "about/newspanel.h"

#include <QWidget>

NewsPanel::NewsPanel(QWidget& WBPanel, SiteProbe& probe)
    : WBPanel_(WBPanel), page_(WBPanel, probe, QStringLiteral("wb1")) {
    page_.OnDocumentComplete = [this] { wb1DocumentComplete(); };
    page_.AccessibleName = QString::fromUtf8("网站公告");
}

void NewsPanel::FormShow() {
    NewsRequested = false;
    WBPanel_.hide();
}

void NewsPanel::ShowNewsPage(const QByteArray& address) {
    if (page_.Navigate(address))
        NewsRequested = true;
}

void NewsPanel::wb1DocumentComplete() {
    if (NewsRequested)
        WBPanel_.show();
}

#include "about/abouttexts.h"

#include "config/localfiles.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <QFile>
#include <QFileInfo>

void RefreshTabLines(QList<QByteArray>& lines, const QString& path, const QByteArray& missingNotice) {
    // A file that is there but cannot be read is as good as not installed:
    // the tab says so instead of the window failing to open.
    QFile file(path);
    if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
        lines = CutLines(file.readAll());
        return;
    }
    lines.append(missingNotice);
}

void AboutTexts::Refresh(const LocalFiles& files) {
    RefreshTabLines(Info, files.infoText(), "Quellix Software not install(f1)!");
    RefreshTabLines(License, files.licenseText(), "Quellix Software not install(f2)!");
}

QByteArray AboutVersionText(const QByteArray& siteName, const QByteArray& version, const QByteArray& release) {
    return "\n\r" + "此软件为 "_gbk + siteName + " 专用版本, 程序版本：v"_gbk + version + "  Release " + release;
}

QByteArray SupportLinkUrl(const QByteArray& vendorHomeUrl, const QByteArray& version) {
    return vendorHomeUrl + "?cl_ver=" + version;
}

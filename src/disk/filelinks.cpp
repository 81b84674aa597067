#include "disk/filelinks.h"

#include "text/gbk.h"

QByteArray FilePageAddress(const QByteArray& siteUrl, const QByteArray& id) {
    return siteUrl + "file-" + id + ".html";
}

QByteArray BuildLinkText(LinkKind kind, const QByteArray& siteUrl, const QList<LinkedFile>& files) {
    static const QByteArray nameLabel = "文件名称："_gbk;
    static const QByteArray linkLabel = "文件链接："_gbk;
    QByteArray text;
    for (const LinkedFile& file : files) {
        const QByteArray address = FilePageAddress(siteUrl, file.Id);
        switch (kind) {
        case LinkKind::Url:
            text += address + "\r\n";
            break;
        case LinkKind::Ubb:
            text += "[url=" + address + "]" + file.Name + "[/url]\r\n";
            break;
        case LinkKind::Post:
            text += nameLabel + file.Name + "\r\n" + linkLabel + address + "\r\n\r\n";
            break;
        }
    }
    return text;
}

#pragma once
// The texts of the about window: the lines of its two tabs, filled from
// "info.txt" and "license.txt" beside the program at every showing, the
// version text and the support address.

#include <QByteArray>
#include <QList>
#include <QString>

class LocalFiles;

// The lines (GBK) of one tab's memo. At every showing a text file that
// exists replaces the lines with its own; a missing one adds `missingNotice`
// as one more line, so the notice piles up showing after showing.
void RefreshTabLines(QList<QByteArray>& lines, const QString& path, const QByteArray& missingNotice);

struct AboutTexts {
    QList<QByteArray> Info;     // "软件说明", from info.txt
    QList<QByteArray> License;  // "使用协议", from license.txt

    // Both tabs, as one showing of the window does it.
    void Refresh(const LocalFiles& files);
};

// "\n\r此软件为 " + site name + " 专用版本, 程序版本：v" + version + "  Release " +
// release: the line feed first puts the text on the label's second line.
QByteArray AboutVersionText(const QByteArray& siteName, const QByteArray& version, const QByteArray& release);

// The support link's address: the vendor's home page with the version asked
// for ("?cl_ver=").
QByteArray SupportLinkUrl(const QByteArray& vendorHomeUrl, const QByteArray& version);

#include "platform/gui/icons.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVector>

namespace {

constexpr int kFileIndex = 0;
constexpr int kFolderIndex = 1;

// Built-in pictures, so that a machine without an icon theme still tells
// folders from files.
QIcon drawnIcon(bool folder) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        if (folder) {
            QPainterPath tab;
            tab.addRoundedRect(QRectF(1 * u, 2.5 * u, 6 * u, 3 * u), u, u);
            p.fillPath(tab, QColor(0xE0, 0xA8, 0x2E));
            QPainterPath body;
            body.addRoundedRect(QRectF(1 * u, 4 * u, 14 * u, 10 * u), u, u);
            p.fillPath(body, QColor(0xF6, 0xC3, 0x4A));
            p.setPen(QPen(QColor(0xC8, 0x90, 0x20), u * 0.75));
            p.drawPath(body);
        } else {
            QPainterPath page;
            page.moveTo(3 * u, 1 * u);
            page.lineTo(10 * u, 1 * u);
            page.lineTo(13 * u, 4 * u);
            page.lineTo(13 * u, 15 * u);
            page.lineTo(3 * u, 15 * u);
            page.closeSubpath();
            p.fillPath(page, Qt::white);
            p.setPen(QPen(QColor(0x70, 0x80, 0x90), u * 0.75));
            p.drawPath(page);
            p.drawLine(QPointF(10 * u, 1 * u), QPointF(10 * u, 4 * u));
            p.drawLine(QPointF(10 * u, 4 * u), QPointF(13 * u, 4 * u));
            p.setPen(QPen(QColor(0xA0, 0xB0, 0xC0), u * 0.75));
            for (int line = 0; line < 3; ++line)
                p.drawLine(QPointF(5 * u, (7 + 2.5 * line) * u), QPointF(11 * u, (7 + 2.5 * line) * u));
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// The process-wide icon table behind both image lists.
class IconTable {
public:
    static IconTable& instance() {
        static IconTable table;
        return table;
    }

    int indexForFile(const QString& name) {
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix.isEmpty())
            return kFileIndex;
        auto found = bySuffix_.constFind(suffix);
        if (found != bySuffix_.constEnd())
            return *found;
        const QMimeType mime = mimeDb_.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        int index = kFileIndex;
        if (mime.isValid() && !mime.isDefault()) {
            auto byMime = byMime_.constFind(mime.name());
            if (byMime != byMime_.constEnd()) {
                index = *byMime;
            } else {
                QIcon themed = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
                if (!themed.isNull()) {
                    index = int(icons_.size());
                    icons_.append(themed);
                }
                byMime_.insert(mime.name(), index);
            }
        }
        bySuffix_.insert(suffix, index);
        return index;
    }

    int count() const { return int(icons_.size()); }
    QIcon icon(int index) const { return icons_.value(index, icons_[kFileIndex]); }

private:
    IconTable() {
        icons_.append(QIcon::fromTheme(QStringLiteral("text-x-generic"), drawnIcon(false)));
        icons_.append(QIcon::fromTheme(QStringLiteral("folder"), drawnIcon(true)));
    }

    QMimeDatabase mimeDb_;
    QVector<QIcon> icons_;
    QHash<QString, int> bySuffix_;
    QHash<QString, int> byMime_;
};

}  // namespace

int GetSystemIconIndexA(const QString& name, int folderFlag) {
    if (folderFlag == 1)
        return kFolderIndex;
    return IconTable::instance().indexForFile(name);
}

int SystemImageList::count() const { return IconTable::instance().count(); }

QIcon SystemImageList::icon(int index) const { return IconTable::instance().icon(index); }

const SystemImageList* GetSystemImageListHandle(int sizeFlag) {
    static const SystemImageList small(16), large(32);
    return sizeFlag == 1 ? &small : &large;
}

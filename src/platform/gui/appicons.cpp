#include "platform/gui/appicons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor kInk(0x2f, 0x5f, 0x99);
const QColor kAccent(0x2f, 0x7b, 0xd9);
const QColor kFolder(0xf2, 0xb9, 0x3b);

using Painter = void (*)(QPainter&, qreal u);

void drawHome(QPainter& p, qreal u) {
    QPainterPath roof;
    roof.moveTo(2 * u, 8 * u);
    roof.lineTo(8 * u, 2.5 * u);
    roof.lineTo(14 * u, 8 * u);
    p.setPen(QPen(kInk, 1.4 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(roof);
    p.fillRect(QRectF(4 * u, 8 * u, 8 * u, 6 * u), kAccent);
    p.fillRect(QRectF(7 * u, 10 * u, 2 * u, 4 * u), Qt::white);
}

void drawBack(QPainter& p, qreal u) {
    QPainterPath arrow;
    arrow.moveTo(7 * u, 3 * u);
    arrow.lineTo(2 * u, 8 * u);
    arrow.lineTo(7 * u, 13 * u);
    p.setPen(QPen(kAccent, 1.8 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(arrow);
    p.drawLine(QPointF(2.5 * u, 8 * u), QPointF(14 * u, 8 * u));
}

void drawPage(QPainter& p, qreal u) {
    QPainterPath page;
    page.moveTo(3 * u, 1.5 * u);
    page.lineTo(9.5 * u, 1.5 * u);
    page.lineTo(12.5 * u, 4.5 * u);
    page.lineTo(12.5 * u, 14.5 * u);
    page.lineTo(3 * u, 14.5 * u);
    page.closeSubpath();
    p.fillPath(page, Qt::white);
    p.setPen(QPen(kInk, 1 * u));
    p.drawPath(page);
}

void drawPlus(QPainter& p, qreal u) {
    p.setBrush(QColor(0x2e, 0xa4, 0x4f));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(11.5 * u, 11.5 * u), 4 * u, 4 * u);
    p.setPen(QPen(Qt::white, 1.4 * u, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11.5 * u, 9.5 * u), QPointF(11.5 * u, 13.5 * u));
    p.drawLine(QPointF(9.5 * u, 11.5 * u), QPointF(13.5 * u, 11.5 * u));
}

void drawUpfile(QPainter& p, qreal u) {
    drawPage(p, u);
    drawPlus(p, u);
}

void drawFolderShape(QPainter& p, qreal u) {
    QPainterPath tab;
    tab.addRoundedRect(QRectF(1.5 * u, 3 * u, 6 * u, 3 * u), u, u);
    p.fillPath(tab, kFolder.darker(115));
    QPainterPath body;
    body.addRoundedRect(QRectF(1.5 * u, 4.5 * u, 13 * u, 9.5 * u), u, u);
    p.fillPath(body, kFolder);
}

void drawFolder(QPainter& p, qreal u) {
    drawFolderShape(p, u);
    drawPlus(p, u);
}

void drawDisk(QPainter& p, qreal u) {
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRoundedRect(QRectF(1.5 * u, 4 * u, 13 * u, 8 * u), 2 * u, 2 * u);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(11.5 * u, 8 * u), 1.2 * u, 1.2 * u);
    p.fillRect(QRectF(3.5 * u, 7.4 * u, 5 * u, 1.2 * u), QColor(255, 255, 255, 180));
}

void drawTask(QPainter& p, qreal u) {
    p.setPen(QPen(kInk, 1.4 * u, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const qreal y = (4 + 4 * i) * u;
        p.drawLine(QPointF(6 * u, y), QPointF(14 * u, y));
        p.fillRect(QRectF(2 * u, y - 1 * u, 2 * u, 2 * u), kAccent);
    }
}

void drawDownload(QPainter& p, qreal u) {
    // An arrow down into a tray.
    p.setPen(QPen(kInk, 1.4 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tray;
    tray.moveTo(2.5 * u, 10 * u);
    tray.lineTo(2.5 * u, 13.5 * u);
    tray.lineTo(13.5 * u, 13.5 * u);
    tray.lineTo(13.5 * u, 10 * u);
    p.drawPath(tray);
    p.setPen(QPen(kAccent, 1.6 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8 * u, 2.5 * u), QPointF(8 * u, 10 * u));
    QPainterPath head;
    head.moveTo(5 * u, 7.5 * u);
    head.lineTo(8 * u, 10.5 * u);
    head.lineTo(11 * u, 7.5 * u);
    p.drawPath(head);
}
void drawUpload(QPainter& p, qreal u) {
    QPainterPath cloud;
    cloud.addEllipse(QPointF(5.5 * u, 9 * u), 3.5 * u, 3 * u);
    cloud.addEllipse(QPointF(9.5 * u, 7 * u), 4 * u, 4 * u);
    cloud.addRoundedRect(QRectF(2 * u, 8 * u, 12.5 * u, 5 * u), 2.5 * u, 2.5 * u);
    p.fillPath(cloud.simplified(), kAccent);
    p.setPen(QPen(Qt::white, 1.5 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8.5 * u, 13 * u), QPointF(8.5 * u, 7.5 * u));
    QPainterPath head;
    head.moveTo(6.5 * u, 9.5 * u);
    head.lineTo(8.5 * u, 7.5 * u);
    head.lineTo(10.5 * u, 9.5 * u);
    p.drawPath(head);
}

void drawSkin(QPainter& p, qreal u) {
    QPainterPath palette;
    palette.addEllipse(QRectF(1.5 * u, 2 * u, 13 * u, 12 * u));
    p.fillPath(palette, QColor(0xf5, 0xe6, 0xc8));
    p.setPen(QPen(kInk, 0.8 * u));
    p.drawPath(palette);
    const QColor dots[] = {QColor(0xe7, 0x4c, 0x3c), QColor(0x2e, 0xa4, 0x4f), kAccent, QColor(0x8e, 0x44, 0xad)};
    const QPointF at[] = {{5 * u, 6 * u}, {8.5 * u, 4.5 * u}, {11.5 * u, 6.5 * u}, {11 * u, 10.5 * u}};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(dots[i]);
        p.drawEllipse(at[i], 1.3 * u, 1.3 * u);
    }
}

QIcon render(Painter paint) {
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p, size / 16.0);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon NamedIcon(const QString& name) {
    static QHash<QString, QIcon> cache;
    auto found = cache.constFind(name);
    if (found != cache.constEnd())
        return *found;
    static const QHash<QString, Painter> painters = {
        {QStringLiteral("ico_home"), &drawHome},     {QStringLiteral("ico_back"), &drawBack},
        {QStringLiteral("ico_upfile"), &drawUpfile}, {QStringLiteral("ico_folder"), &drawFolder},
        {QStringLiteral("ico_disk"), &drawDisk},     {QStringLiteral("ico_task"), &drawTask},
        {QStringLiteral("ico_upload"), &drawUpload}, {QStringLiteral("ico_skin"), &drawSkin},
        {QStringLiteral("ico_download"), &drawDownload},
    };
    const Painter paint = painters.value(name);
    const QIcon icon = paint ? render(paint) : QIcon();
    cache.insert(name, icon);
    return icon;
}

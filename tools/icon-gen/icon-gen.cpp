// quellix-icon-gen FOLDER SIZE...: writes FOLDER/quellix-SIZE.png for each
// size and FOLDER/quellix.svg. Both are drawn from the one list of shapes
// below, on a 256 x 256 canvas, so the bitmaps and the scalable icon agree.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

constexpr double kCanvas = 256;

// Background: a rounded square with a vertical gradient.
constexpr double kInset = 12, kRadius = 48;
const char* const kTop = "#3d8fe6";
const char* const kBottom = "#1657a8";
// The cloud: circles and the flat base joining them (white).
struct Circle {
    double cx, cy, r;
};
constexpr Circle kCloud[] = {{92, 132, 38}, {138, 108, 50}, {180, 140, 32}};
constexpr double kBaseX = 54, kBaseY = 132, kBaseW = 158, kBaseH = 40, kBaseR = 20;
// The arrow (blue) pointing down inside the cloud.
constexpr QPointF kArrow[] = {{124, 92}, {144, 92}, {144, 130}, {164, 130}, {134, 166},
                              {104, 130}, {124, 130}};

QPainterPath cloudPath() {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const Circle& c : kCloud)
        path.addEllipse(QPointF(c.cx, c.cy), c.r, c.r);
    path.addRoundedRect(kBaseX, kBaseY, kBaseW, kBaseH, kBaseR, kBaseR);
    return path.simplified();
}

QImage drawPng(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kCanvas, size / kCanvas);
    QLinearGradient gradient(0, kInset, 0, kCanvas - kInset);
    gradient.setColorAt(0, QColor(kTop));
    gradient.setColorAt(1, QColor(kBottom));
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(QRectF(kInset, kInset, kCanvas - 2 * kInset, kCanvas - 2 * kInset), kRadius, kRadius);
    p.setBrush(Qt::white);
    p.drawPath(cloudPath());
    p.setBrush(QColor(kBottom));
    p.drawPolygon(kArrow, int(std::size(kArrow)));
    return image;
}

QByteArray svg() {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    out += QByteArray("  <defs><linearGradient id=\"bg\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">") +
           "<stop offset=\"0\" stop-color=\"" + kTop + "\"/><stop offset=\"1\" stop-color=\"" + kBottom +
           "\"/></linearGradient></defs>\n";
    const double side = kCanvas - 2 * kInset;
    out += QString::asprintf("  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\" fill=\"url(#bg)\"/>\n",
                             kInset, kInset, side, side, kRadius)
               .toUtf8();
    out += "  <g fill=\"#ffffff\">\n";
    for (const Circle& c : kCloud)
        out += QString::asprintf("    <circle cx=\"%g\" cy=\"%g\" r=\"%g\"/>\n", c.cx, c.cy, c.r).toUtf8();
    out += QString::asprintf("    <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" rx=\"%g\"/>\n", kBaseX, kBaseY,
                             kBaseW, kBaseH, kBaseR)
               .toUtf8();
    out += "  </g>\n  <polygon fill=\"" + QByteArray(kBottom) + "\" points=\"";
    for (const QPointF& point : kArrow)
        out += QString::asprintf("%g,%g ", point.x(), point.y()).toUtf8();
    out.chop(1);
    out += "\"/>\n</svg>\n";
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quellix-icon-gen FOLDER SIZE...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder))
        return 1;
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !drawPng(size).save(folder + QStringLiteral("/quellix-%1.png").arg(size)))
            return 1;
    }
    QFile file(folder + QStringLiteral("/quellix.svg"));
    if (!file.open(QIODevice::WriteOnly) || file.write(svg()) < 0)
        return 1;
    return 0;
}

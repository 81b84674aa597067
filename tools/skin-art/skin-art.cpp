// Draws the images of the shipped skins: check marks, menu radio dots, combo
// box arrows, tool bar and progress textures, and the login banner. The
// images are committed under skins/<Name>/img/; run this after changing a
// colour here (see README, "Skins"):
//
//     build/tools/skin-art/quellix-skin-art skins
//
// Each skin is one palette plus a banner painter, so the pictures of a skin
// match the colours of its style sheet.

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

struct Palette {
    const char* name;
    QColor tick;         // check mark on the accent-coloured box
    QColor dot;          // radio dot of menu items
    QColor arrow;        // combo box arrow
    QColor toolTop, toolBottom, toolLine, toolHighlight;
    std::function<void(QPainter&, const QRectF&)> banner;
};

QImage canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void save(const QImage& image, const QString& folder, const char* file) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(file);
    if (!image.save(path, "PNG", 9))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QImage tick(const QColor& color) {
    QImage image = canvas(12, 12);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(2.2, 6.4);
    path.lineTo(4.9, 9.0);
    path.lineTo(9.9, 3.2);
    p.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return image;
}

QImage dot(const QColor& color) {
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QPointF(8, 8), 3.5, 3.5);
    return image;
}

QImage arrow(const QColor& color, bool down) {
    QImage image = canvas(10, 6);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    if (down) {
        path.moveTo(1.2, 1.2);
        path.lineTo(5, 4.8);
        path.lineTo(8.8, 1.2);
    } else {
        path.moveTo(1.2, 4.8);
        path.lineTo(5, 1.2);
        path.lineTo(8.8, 4.8);
    }
    p.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    return image;
}

// The strip behind the tool bars: a soft gradient, a highlight line on top
// and a divider at the bottom; repeated across.
QImage toolbar(const Palette& pal) {
    QImage image = canvas(8, 33);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, 33);
    g.setColorAt(0, pal.toolTop);
    g.setColorAt(1, pal.toolBottom);
    p.fillRect(image.rect(), g);
    p.fillRect(QRect(0, 0, 8, 1), pal.toolHighlight);
    p.fillRect(QRect(0, 32, 8, 1), pal.toolLine);
    return image;
}

// Diagonal light stripes laid over the progress bar's colour.
QImage stripes() {
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 46));
    for (int offset = -16; offset <= 16; offset += 16) {
        QPainterPath band;
        band.moveTo(offset, 16);
        band.lineTo(offset + 8, 16);
        band.lineTo(offset + 24, 0);
        band.lineTo(offset + 16, 0);
        band.closeSubpath();
        p.drawPath(band);
    }
    return image;
}

void laconicBanner(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0xff, 0xff, 0xff));
    g.setColorAt(1, QColor(0xe7, 0xf0, 0xfb));
    p.fillRect(r, g);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(QColor(0x2f, 0x7b, 0xd9, 10 + i * 4));
        const qreal radius = 90 - i * 18;
        p.drawEllipse(QPointF(r.right() - 30, r.top() + 10), radius, radius);
    }
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), QColor(0xd5, 0xe1, 0xef));
}

void jadeBanner(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(0x14, 0x6b, 0x55));
    g.setColorAt(1, QColor(0x2a, 0xa3, 0x82));
    p.fillRect(r, g);
    p.setPen(Qt::NoPen);
    // Three layered ripples rising towards the right.
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath wave;
        const qreal base = r.bottom() - 8 - layer * 9;
        wave.moveTo(r.left(), r.bottom());
        wave.lineTo(r.left(), base);
        for (qreal x = r.left(); x <= r.right() + 4; x += 4) {
            const qreal y = base - 6 * std::sin((x + layer * 70) / 58.0) - (x - r.left()) * 0.035 * (layer + 1);
            wave.lineTo(x, y);
        }
        wave.lineTo(r.right(), r.bottom());
        wave.closeSubpath();
        p.setBrush(QColor(255, 255, 255, 16 + layer * 8));
        p.drawPath(wave);
    }
    // A faint leaf at the right.
    p.save();
    p.translate(r.right() - 52, r.top() + 30);
    p.rotate(-35);
    QPainterPath leaf;
    leaf.moveTo(-26, 0);
    leaf.quadTo(0, -16, 26, 0);
    leaf.quadTo(0, 16, -26, 0);
    p.setBrush(QColor(255, 255, 255, 34));
    p.drawPath(leaf);
    p.setPen(QPen(QColor(255, 255, 255, 60), 1.2));
    p.drawLine(QPointF(-22, 0), QPointF(22, 0));
    p.restore();
}

void amberBanner(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, QColor(0xa9, 0x52, 0x14));
    g.setColorAt(1, QColor(0xe3, 0x8e, 0x2b));
    p.fillRect(r, g);
    const QPointF sun(r.right() - 46, r.bottom() + 6);
    p.setPen(Qt::NoPen);
    // Rays fanning out of the sun.
    p.setBrush(QColor(255, 236, 190, 22));
    for (int i = 0; i < 14; ++i) {
        const qreal a0 = (180 + i * 13) * M_PI / 180.0;
        const qreal a1 = a0 + 5 * M_PI / 180.0;
        QPainterPath ray;
        ray.moveTo(sun);
        ray.lineTo(sun + QPointF(std::cos(a0), std::sin(a0)) * 260);
        ray.lineTo(sun + QPointF(std::cos(a1), std::sin(a1)) * 260);
        ray.closeSubpath();
        p.drawPath(ray);
    }
    QRadialGradient glow(sun, 46);
    glow.setColorAt(0, QColor(255, 226, 150, 200));
    glow.setColorAt(0.55, QColor(255, 210, 120, 120));
    glow.setColorAt(1, QColor(255, 200, 110, 0));
    p.setBrush(glow);
    p.drawEllipse(sun, 46, 46);
}

void midnightBanner(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(0x0c, 0x11, 0x20));
    g.setColorAt(1, QColor(0x22, 0x2d, 0x4d));
    p.fillRect(r, g);
    QRandomGenerator stars(20130122);  // fixed seed: the same sky every time
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 70; ++i) {
        const QPointF at(r.left() + stars.bounded(r.width()), r.top() + stars.bounded(r.height()));
        const int alpha = 60 + stars.bounded(150);
        const qreal size = stars.bounded(10) == 0 ? 1.3 : 0.7;
        p.setBrush(QColor(220, 230, 255, alpha));
        p.drawEllipse(at, size, size);
    }
    // A crescent moon.
    const QPointF moon(r.right() - 44, r.top() + 24);
    QPainterPath disc;
    disc.addEllipse(moon, 13, 13);
    QPainterPath bite;
    bite.addEllipse(moon + QPointF(6, -4), 12, 12);
    QRadialGradient halo(moon, 34);
    halo.setColorAt(0, QColor(160, 180, 255, 60));
    halo.setColorAt(1, QColor(160, 180, 255, 0));
    p.setBrush(halo);
    p.drawEllipse(moon, 34, 34);
    p.setBrush(QColor(0xe9, 0xee, 0xfc));
    p.drawPath(disc.subtracted(bite));
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), QColor(0x39, 0x42, 0x57));
}

QImage banner(const Palette& pal) {
    QImage image = canvas(422, 72);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    pal.banner(p, QRectF(0, 0, 422, 72));
    return image;
}

const Palette kPalettes[] = {
    {"Laconic", Qt::white, QColor(0x2f, 0x7b, 0xd9), QColor(0x5a, 0x6b, 0x80), QColor(0xff, 0xff, 0xff),
     QColor(0xf0, 0xf4, 0xf9), QColor(0xdd, 0xe3, 0xea), QColor(0xff, 0xff, 0xff), laconicBanner},
    {"Jade", Qt::white, QColor(0x1f, 0x9a, 0x78), QColor(0x3f, 0x6b, 0x5c), QColor(0xf8, 0xfc, 0xfa),
     QColor(0xe4, 0xf0, 0xea), QColor(0xc4, 0xd8, 0xcf), QColor(0xff, 0xff, 0xff), jadeBanner},
    {"Amber", Qt::white, QColor(0xd9, 0x7a, 0x17), QColor(0x8a, 0x5a, 0x2b), QColor(0xff, 0xfb, 0xf4),
     QColor(0xf6, 0xe8, 0xd2), QColor(0xe3, 0xcf, 0xb0), QColor(0xff, 0xff, 0xff), amberBanner},
    {"Midnight", Qt::white, QColor(0x8f, 0xaa, 0xff), QColor(0xa9, 0xb3, 0xc7), QColor(0x2a, 0x31, 0x44),
     QColor(0x21, 0x27, 0x37), QColor(0x12, 0x16, 0x1f), QColor(0x34, 0x3d, 0x53), midnightBanner},
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SKINS_FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const Palette& pal : kPalettes) {
        const QString folder = root + QLatin1Char('/') + QLatin1String(pal.name) + QStringLiteral("/img");
        QDir().mkpath(folder);
        save(tick(pal.tick), folder, "tick.png");
        save(dot(pal.dot), folder, "dot.png");
        save(arrow(pal.arrow, true), folder, "arrow-down.png");
        save(arrow(pal.arrow, false), folder, "arrow-up.png");
        save(toolbar(pal), folder, "toolbar.png");
        save(stripes(), folder, "stripes.png");
        save(banner(pal), folder, "banner.png");
        std::printf("%s\n", qPrintable(folder));
    }
    return 0;
}

#pragma once
// An X server of a test's own (Xvfb on a display number it picks itself,
// no window manager), the programs run on it, real input through xdotool
// and pictures of what the server shows (xwd of the root window): what a
// user sees, unlike a widget grab, which draws the widgets itself and hides
// a window that stays black on the screen. Everything started here is
// killed when the object goes, also when the test process dies.

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class XScreen {
public:
    // Starts Xvfb with a screen of `size` and 24-bit colour; isRunning()
    // tells whether it came up within `timeoutMs`.
    explicit XScreen(QSize size = QSize(1280, 1024), int timeoutMs = 20000);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool isRunning() const { return !display_.isEmpty(); }
    QString errorText() const { return error_; }
    QString display() const { return display_; }  // ":N"

    // The environment for a program on this display: the caller's, with
    // DISPLAY set and the platform plugin forced to xcb.
    QProcessEnvironment environment() const;

    // Starts `program` on this display in `workDir` with `env` (made from
    // environment()); it is killed when this object goes.
    QProcess* start(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                    const QString& workDir);

    // Runs xdotool with `arguments`; its standard output, or a null array
    // when it failed or did not end within 10 s.
    QByteArray xdotool(const QStringList& arguments);

    // The geometry of the visible top-level window whose name matches the
    // regular expression `name`; an empty rectangle when there is none.
    QRect windowRect(const QString& name);
    // Waits up to `timeoutMs` for it.
    QRect waitForWindow(const QString& name, int timeoutMs);

    // What the server shows on the whole screen; a null image on failure.
    QImage capture();

private:
    QString display_;
    QString error_;
    std::unique_ptr<QProcess> server_;
    std::vector<std::unique_ptr<QProcess>> programs_;
};

// Reads an XWD picture (ZPixmap, 24 or 32 bits per pixel) as xwd writes it.
QImage ReadXwd(const QByteArray& bytes);

// Share of the pixels of `image` inside `rect` that differ from its most
// frequent colour by more than `tolerance` in some channel: 0 for a region of
// one colour (a black or empty window), larger where something is drawn.
double InkShare(const QImage& image, const QRect& rect, int tolerance = 24);

// Mean absolute difference of the grey values of `a` inside `rectA` and of
// `b` inside the same-sized rectangle at `topLeftB`, 0..255.
double MeanGreyDifference(const QImage& a, const QRect& rectA, const QImage& b, const QPoint& topLeftB);

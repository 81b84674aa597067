#include "webviewinput.h"

#include "support/testutil.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWebEngineView>
#include <QWindow>

namespace {

QString mark(const char* kind, int button, int x) {
    return QString::fromLatin1(kind) + QString::number(button) + QLatin1Char('@') + QString::number(x);
}

}  // namespace

QByteArray InputLogPage() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>ready</title>
<style>html, body { margin: 0; height: 100%; }</style></head>
<body><div style="height: 100%">input log</div>
<script>
var log = [];
function add(entry) { log.push(entry); document.title = log.join(","); }
document.addEventListener("mousedown", function (e) { add("d" + e.button + "@" + e.clientX); });
document.addEventListener("mouseup", function (e) { add("u" + e.button + "@" + e.clientX); });
document.addEventListener("contextmenu", function () { add("cm"); });
document.addEventListener("keydown", function (e) { add("k" + (e.ctrlKey ? "^" : "") + e.key); });
</script></body></html>
)";
}

QString PageLog(const QWebEngineView& view) {
    const QString title = view.title();
    return title == QStringLiteral("ready") ? QString() : title;
}

int ClickInView(QWebEngineView& view, Qt::MouseButton button, bool throughWindow) {
    static int clicks = 0;
    QWidget* content = view.focusProxy() ? view.focusProxy() : &view;
    const int span = qMax(1, content->width() - 20);
    const QPoint spot(10 + (clicks++ * 3) % span, content->height() / 2);
    if (throughWindow) {
        QWidget* top = view.window();
        QTest::mouseClick(top->windowHandle(), button, Qt::NoModifier, content->mapTo(top, spot));
    } else {
        QTest::mouseClick(content, button, Qt::NoModifier, spot);
    }
    return spot.x();
}

bool WaitForLeftClick(const QWebEngineView& view, int x, int timeoutMs) {
    const QString up = mark("u", 0, x);
    return WaitFor([&] { return PageLog(view).split(QLatin1Char(',')).contains(up); }, timeoutMs);
}

bool WaitUntilPageTakesClicks(QWebEngineView& view, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const int x = ClickInView(view, Qt::LeftButton);
        if (WaitForLeftClick(view, x, 300))
            return true;
    }
    return false;
}

bool HasRightButtonTrace(const QString& log) {
    for (const QString& entry : log.split(QLatin1Char(',')))
        if (entry.startsWith(QStringLiteral("d2@")) || entry.startsWith(QStringLiteral("u2@")) ||
            entry == QStringLiteral("cm"))
            return true;
    return false;
}

void KeyInView(QWebEngineView& view, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* content = view.focusProxy() ? view.focusProxy() : &view;
    QTest::keyClick(content, key, modifiers);
}

bool WaitForLogAfter(const QWebEngineView& view, const QString& before, const QString& tail, int timeoutMs) {
    return WaitFor([&] { return PageLog(view).mid(before.size()).endsWith(tail); }, timeoutMs);
}

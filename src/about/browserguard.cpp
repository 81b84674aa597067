#include "about/browserguard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWebEngineView>

namespace {

bool isRightButton(const QEvent* event) {
    return static_cast<const QMouseEvent*>(event)->button() == Qt::RightButton;
}

bool isCtrlN(const QEvent* event) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers();
    return key->key() == Qt::Key_N && (mods & Qt::ControlModifier) &&
           !(mods & (Qt::AltModifier | Qt::MetaModifier));
}

}  // namespace

EmbeddedBrowserGuard::~EmbeddedBrowserGuard() { Remove(); }

void EmbeddedBrowserGuard::Install() {
    if (installed_ || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    installed_ = true;
}

void EmbeddedBrowserGuard::Remove() {
    if (!installed_)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    installed_ = false;
}

bool EmbeddedBrowserGuard::IsWebViewContent(const QObject* target) {
    if (!target || !target->isWidgetType())
        return false;
    for (const QWidget* w = static_cast<const QWidget*>(target); w; w = w->parentWidget()) {
        if (qobject_cast<const QWebEngineView*>(w))
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}

bool EmbeddedBrowserGuard::eventFilter(QObject* watched, QEvent* event) {
    // The cheap test on the event's kind comes first: this sees every event
    // of the program.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return isRightButton(event) && IsWebViewContent(watched);
    case QEvent::ContextMenu:
        return IsWebViewContent(watched);
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return isCtrlN(event) && IsWebViewContent(watched);
    default:
        return false;
    }
}

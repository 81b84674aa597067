#include "platform/gui/placement.h"

#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

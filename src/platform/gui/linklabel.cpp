#include "platform/gui/linklabel.h"

#include "platform/gui/shell.h"
#include "text/errors.h"

#include <QMouseEvent>

TLinkLabel::TLinkLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setProperty("link", true);
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    RunGuarded([this] {
        ShellOpenAddress(URL);
        Q_EMIT Clicked();
    });
}

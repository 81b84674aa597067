#include "upload/uploadwindow.h"

#include <QLabel>

void UploadWindow::ShowStatus(const QString& text) {
    spStatus1.setText(text);
    if (OnStatusText)
        OnStatusText(text);
}

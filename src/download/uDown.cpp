#include "download/uDown.h"

TDownFrm::TDownFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TDownFrm"));
    setWindowTitle(QString::fromUtf8("文件下载管理"));
    resize(397, 240);
}

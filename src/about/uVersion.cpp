#include "about/uVersion.h"

TVerFrm::TVerFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TVerFrm"));
    setWindowTitle(QString::fromUtf8("关于软件"));
    setFixedSize(505, 342);
}

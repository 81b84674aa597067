#include "skinmgr/uSkin.h"

TSkinFrm::TSkinFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TSkinFrm"));
    setWindowTitle(QString::fromUtf8("网盘皮肤切换"));
    setFixedSize(531, 342);
}

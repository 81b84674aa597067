#pragma once
// The about window: version, the two text tabs, the support link and the
// site's about page.

#include <QDialog>

class TVerFrm : public QDialog {
    Q_OBJECT
public:
    explicit TVerFrm(QWidget* parent = nullptr);
};

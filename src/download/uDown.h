#pragma once
// The download window: names the local file and folder and starts the
// download of one remote file.

#include <QDialog>

class TDownFrm : public QDialog {
    Q_OBJECT
public:
    explicit TDownFrm(QWidget* parent = nullptr);
};

#pragma once
// The skin manager: lists, previews, fetches, applies and deletes skins.

#include <QDialog>

class TSkinFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSkinFrm(QWidget* parent = nullptr);
};

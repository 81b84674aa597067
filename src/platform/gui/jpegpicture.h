#pragma once
// JPEG pictures: decoding a file (see jpegdecode.h), and the picture widget that
// shows one (the skin previews).

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QString>

// Decodes the JPEG file at `path`. Raises EInOutError when the file is
// missing or unreadable, is not a JPEG picture, is damaged or cut short, or
// is too large to hold in memory. Grey, colour and CMYK pictures come back
// as 24-bit colour.
QImage LoadJpegFile(const QString& path);

// A picture that shows a JPEG file scaled to fit its contents area, keeping
// the aspect ratio, centred. The frame and background come from the skin.
class TJpegPicture : public QLabel {
    Q_OBJECT
public:
    explicit TJpegPicture(QWidget* parent = nullptr);

    // Shows the JPEG file at `path`. Raises EInOutError as LoadJpegFile does;
    // the picture shown before stays when loading fails.
    void LoadFromFile(const QString& path);
    // Shows nothing.
    void Clear();

    // The decoded picture at its own size; null when nothing is shown.
    const QImage& Picture() const { return picture_; }
    // The file the picture came from; empty when nothing is shown.
    const QString& FileName() const { return fileName_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QString fileName_;
    QPixmap scaled_;  // the picture at the size last painted
};

#include "platform/gui/jpegpicture.h"

#include "platform/gui/jpegdecode.h"

#include "text/errors.h"
#include "text/gbk.h"

#include <QFile>
#include <QPainter>

QImage LoadJpegFile(const QString& path) {
    QFile file(path);
    if (!file.exists())
        throw EInOutError("Picture file not found: " + ToGbk(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError("Cannot open picture file " + ToGbk(path) + ": " + ToGbk(file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError("Cannot read picture file " + ToGbk(path) + ": " + ToGbk(file.errorString()));

    QByteArray message;
    QImage picture = DecodeJpeg(bytes, &message);
    if (picture.isNull())
        throw EInOutError("Not a JPEG picture or damaged: " + ToGbk(path) + " (" + message + ")");
    return picture;
}

TJpegPicture::TJpegPicture(QWidget* parent) : QLabel(parent) {
    setMinimumSize(1, 1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void TJpegPicture::LoadFromFile(const QString& path) {
    QImage picture = LoadJpegFile(path);
    picture_ = std::move(picture);
    fileName_ = path;
    scaled_ = QPixmap();
    update();
}

void TJpegPicture::Clear() {
    picture_ = QImage();
    fileName_.clear();
    scaled_ = QPixmap();
    update();
}

QSize TJpegPicture::sizeHint() const { return picture_.isNull() ? QSize(381, 255) : picture_.size(); }

void TJpegPicture::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (picture_.isNull())
        return;
    const QRect area = contentsRect();
    if (area.isEmpty())
        return;
    const QSize fitted = picture_.size().scaled(area.size(), Qt::KeepAspectRatio);
    if (scaled_.size() != fitted) {
        scaled_ = fitted == picture_.size()
                      ? QPixmap::fromImage(picture_)
                      : QPixmap::fromImage(picture_.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    QPainter painter(this);
    const QPoint at(area.x() + (area.width() - fitted.width()) / 2, area.y() + (area.height() - fitted.height()) / 2);
    painter.drawPixmap(at, scaled_);
}

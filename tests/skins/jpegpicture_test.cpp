#include "platform/gui/jpegpicture.h"
#include "skinfiles.h"
#include "support/testutil.h"
#include "text/errors.h"

#include <QApplication>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString preview() { return SkinPreviewPath(QStringLiteral("Amber")); }

// Largest difference of one colour channel between two pictures of a size.
int largestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

std::string messageOf(const QString& path) {
    try {
        LoadJpegFile(path);
    } catch (const EInOutError& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(LoadJpegFile, DecodesEveryPreviewAndThePlaceholderAtThePreviewSize) {
    QStringList pictures{ProgramDir() + QStringLiteral("/res/loading.jpg")};
    for (const QString& name : SkinNames())
        pictures << SkinPreviewPath(name);
    for (const QString& path : pictures) {
        const QImage picture = LoadJpegFile(path);
        EXPECT_EQ(picture.size(), QSize(381, 255)) << path.toStdString();
    }
}

TEST(LoadJpegFile, GivesThePixelsAnotherDecoderGives) {
    // Qt's own JPEG reader is a second opinion on the same file.
    const QImage ours = LoadJpegFile(preview());
    QImageReader reader(preview(), "jpeg");
    const QImage theirs = reader.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(theirs.isNull()) << reader.errorString().toStdString();
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_LE(largestDifference(ours, theirs), 2);

    // A grey picture comes back as colour with equal channels.
    QTemporaryDir dir;
    QImage grey(40, 30, QImage::Format_Grayscale8);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            grey.setPixel(x, y, qRgb(x * 6, x * 6, x * 6));
    const QString greyPath = dir.filePath(QStringLiteral("grey.jpg"));
    ASSERT_TRUE(grey.save(greyPath, "JPEG", 95));
    const QImage decoded = LoadJpegFile(greyPath);
    ASSERT_EQ(decoded.size(), QSize(40, 30));
    const QRgb p = decoded.pixel(30, 10);
    EXPECT_EQ(qRed(p), qGreen(p));
    EXPECT_EQ(qGreen(p), qBlue(p));
    EXPECT_NEAR(qRed(p), 180, 6);
}

TEST(LoadJpegFile, ACutOffFileRaisesInsteadOfShowingAGreyRemainder) {
    const QByteArray whole = ReadFileBytes(preview());
    ASSERT_GT(whole.size(), 1000);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.jpg"));
    for (qsizetype length : {qsizetype(0), qsizetype(2), qsizetype(100), qsizetype(600), whole.size() / 2,
                             whole.size() - 2}) {
        WriteFileBytes(path, whole.left(length));
        EXPECT_THROW(LoadJpegFile(path), EInOutError) << "length " << length;
    }
    EXPECT_NE(messageOf(path).find(path.toStdString()), std::string::npos) << messageOf(path);
}

TEST(LoadJpegFile, MissingAndNonJpegFilesRaiseWithTheirPath) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.jpg"));
    EXPECT_THROW(LoadJpegFile(missing), EInOutError);
    EXPECT_NE(messageOf(missing).find("not found"), std::string::npos) << messageOf(missing);

    const QString png = dir.filePath(QStringLiteral("picture.jpg"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(png, "PNG"));
    const QString text = dir.filePath(QStringLiteral("text.jpg"));
    WriteFileBytes(text, "this is not a picture");
    for (const QString& path : {png, text, SkinPackagePath(QStringLiteral("Jade")), dir.path()}) {
        EXPECT_THROW(LoadJpegFile(path), EInOutError) << path.toStdString();
        EXPECT_NE(messageOf(path).find(path.toStdString()), std::string::npos) << messageOf(path);
    }
}

TEST(JpegPicture, ShowsThePictureScaledToFitAndCentred) {
    TJpegPicture picture;
    picture.setStyleSheet(QStringLiteral("background: #00ff00;"));
    picture.resize(200, 200);
    picture.LoadFromFile(preview());
    EXPECT_EQ(picture.Picture().size(), QSize(381, 255));
    EXPECT_EQ(picture.FileName(), preview());
    picture.show();
    QApplication::processEvents();
    const QImage shown = picture.grab().toImage();

    // 381 x 255 fitted into 200 x 200 is 200 x 133, 33 pixels from the top.
    const QSize fitted = picture.Picture().size().scaled(200, 200, Qt::KeepAspectRatio);
    ASSERT_EQ(fitted, QSize(200, 133));
    EXPECT_EQ(shown.pixel(100, 10), qRgb(0, 255, 0)) << "above the picture";
    EXPECT_EQ(shown.pixel(100, 190), qRgb(0, 255, 0)) << "below the picture";
    const QImage expected = picture.Picture().scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LE(largestDifference(shown.copy(QRect(QPoint(0, 33), fitted)).convertToFormat(QImage::Format_RGB32),
                                expected.convertToFormat(QImage::Format_RGB32)),
              0);
}

TEST(JpegPicture, AFailedLoadKeepsThePictureShownAndClearEmptiesIt) {
    TJpegPicture picture;
    picture.LoadFromFile(preview());
    const QImage before = picture.Picture();
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    WriteFileBytes(broken, ReadFileBytes(preview()).left(500));
    EXPECT_THROW(picture.LoadFromFile(broken), EInOutError);
    EXPECT_EQ(picture.Picture(), before);
    EXPECT_EQ(picture.FileName(), preview());

    picture.Clear();
    EXPECT_TRUE(picture.Picture().isNull());
    EXPECT_TRUE(picture.FileName().isEmpty());
}

}  // namespace

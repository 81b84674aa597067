#include "platform/gui/jpegpicture.h"
#include "skinfiles.h"
#include "support/testutil.h"
#include "text/errors.h"

#include <QApplication>
#include <QBuffer>
#include <QImageWriter>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(LoadJpegFile, AHugeClaimedSizeIsRefusedBeforeTheDecoderAllocatesForIt) {
    // A small progressive picture whose header claims 60000 x 60000 pixels:
    // the decoder would reserve its coefficients (gigabytes) and then run out
    // of data; the size is refused from the header instead.
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    const qsizetype frame = bytes.indexOf(QByteArray("\xff\xc2", 2));
    ASSERT_GT(frame, 0);
    for (int at : {5, 7}) {  // height, then width, big-endian
        bytes[frame + at] = char(60000 >> 8);
        bytes[frame + at + 1] = char(60000 & 0xff);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.jpg"));
    WriteFileBytes(path, bytes);
    // Decoded in a child whose address space may grow by 1 GiB only: a
    // decoder that reserves first fails there with "Insufficient memory".
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(1) << 30);
        const rlimit limit{room, room};
        setrlimit(RLIMIT_AS, &limit);
        const std::string message = messageOf(path);
        std::fprintf(stderr, "%s\n", message.c_str());
        _exit(message.find("60000 x 60000 pixels is not supported") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
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

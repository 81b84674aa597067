// Fuzzes what the skin server delivers: skin packages (binary Qt resource
// files), checked by IsWellFormedResourceFile and then mounted and read the
// way the skin loader does, and the JPEG previews, decoded from bytes.
// The first byte picks the kind; the rest is the downloaded file.

#include "fuzzcheck.h"
#include "platform/gui/jpegdecode.h"
#include "platform/gui/skinpackage.h"

#include <QDirIterator>
#include <QFile>
#include <QResource>

namespace {

void skinPackage(const QByteArray& input) {
    if (!IsWellFormedResourceFile(input))
        return;
    // Qt may still refuse a package that passed the check (format flags it
    // does not support: the loader then reports "Not a skin file"); one it
    // mounts reads back, every file of it, without Qt leaving the data.
    const QString root = QStringLiteral("/fuzzskin");
    const auto* bytes = reinterpret_cast<const uchar*>(input.constData());
    if (!QResource::registerResource(bytes, root))
        return;
    {
        QDirIterator it(QLatin1Char(':') + root, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        int entries = 0;
        while (it.hasNext() && ++entries < 10000) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                FUZZ_CHECK(file.readAll().size() <= 64 * 1024 * 1024);
        }
        // The loader's own read: the style sheet.
        QFile sheet(QLatin1Char(':') + root + QStringLiteral("/skin.qss"));
        if (sheet.open(QIODevice::ReadOnly))
            sheet.readAll();
    }
    // Nothing read from the package is in use any more: it unmounts.
    FUZZ_CHECK(QResource::unregisterResource(bytes, root));
}

void jpegPicture(const QByteArray& input) {
    QByteArray message;
    const QImage picture = DecodeJpeg(input, &message);
    if (picture.isNull()) {
        FUZZ_CHECK(!message.isEmpty());
        return;
    }
    FUZZ_CHECK(picture.format() == QImage::Format_RGB32);
    FUZZ_CHECK(picture.width() > 0 && picture.height() > 0);
    FUZZ_CHECK(qint64(picture.width()) * picture.height() <= 32ll * 1024 * 1024);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // A copy of its own: the resource system keeps pointers into it while
    // mounted, and a decoder reading past the end shows up under ASan.
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (data[0] & 1)
        jpegPicture(input);
    else
        skinPackage(input);
    return 0;
}

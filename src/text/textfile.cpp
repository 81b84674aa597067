#include "text/textfile.h"

#include "text/errors.h"
#include "text/fields.h"
#include "text/gbk.h"

#include <QFile>

namespace {

[[noreturn]] void ioError(const QFile& file, const QString& path) {
    throw EInOutError("I/O error: " + ToGbk(path) + ": " + ToGbk(file.errorString()));
}

}  // namespace

void WriteTextLine(const QString& path, const QByteArray& text, bool truncate) {
    QFile file(path);
    QIODevice::OpenMode mode = QIODevice::WriteOnly;
    mode |= (truncate || !QFile::exists(path)) ? QIODevice::Truncate : QIODevice::Append;
    if (!file.open(mode))
        ioError(file, path);
    const QByteArray line = text + "\r\n";
    if (file.write(line) != line.size() || !file.flush())
        ioError(file, path);
    file.close();
    if (file.error() != QFileDevice::NoError)
        ioError(file, path);
}

QByteArray ReadTextFileJoined(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ioError(file, path);
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        ioError(file, path);
    QByteArray joined;
    for (const QByteArray& line : CutLines(content))
        joined += line + "\r\n";
    return joined;
}

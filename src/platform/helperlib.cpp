#include "platform/helperlib.h"

#include <QFile>
#include <QFileInfo>

qint64 FileSizeByName(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile() || !info.isReadable())
        return -1;
    return info.size();
}

void WriteToFile(const QString& path, const QByteArray& line) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(line + "\n");
}

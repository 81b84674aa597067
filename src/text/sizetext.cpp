#include "text/sizetext.h"

#include "text/gbk.h"

#include <QLocale>

namespace {

QByteArray withTwoDecimals(double value, const char* unit) {
    QByteArray number = QByteArray::number(value, 'f', 2);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        number.replace('.', ToGbk(point));
    return number + unit;
}

}  // namespace

QByteArray SizeText(qint64 n) {
    constexpr qint64 kGiB = 1073741824, kMiB = 1048576, kKiB = 1024;
    if (n / kGiB > 0)
        return withTwoDecimals(double(n) / kGiB, "GB");
    if (n / kMiB > 0)
        return withTwoDecimals(double(n) / kMiB, "MB");
    if (n / kKiB > 0)
        return withTwoDecimals(double(n) / kKiB, "KB");
    return QByteArray::number(n) + "B";
}

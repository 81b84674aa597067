#include "config/localfiles.h"

#include <QCoreApplication>

LocalFiles::LocalFiles(const QString& programFolder) : folder_(programFolder) {
    if (!folder_.endsWith(QLatin1Char('/')))
        folder_ += QLatin1Char('/');
}

LocalFiles LocalFiles::ofRunningProgram() { return LocalFiles(QCoreApplication::applicationDirPath()); }

#include "config/localfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString withSlash(QString folder) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// Write permission bits say nothing for root, and a read-only mount keeps
// them: only creating a file tells.
bool canCreateFileIn(const QString& folder) {
    if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable())
        return false;
    QTemporaryFile probe(withSlash(folder) + QStringLiteral(".quellix-write-probe-XXXXXX"));
    return probe.open();
}

}  // namespace

LocalFiles::LocalFiles(const QString& programFolder)
    : mode_(Mode::Portable), folder_(withSlash(programFolder)), data_(folder_),
      downloads_(folder_ + QStringLiteral("Downloads/")) {}

LocalFiles::LocalFiles(const QString& programFolder, const UserPlaces& places)
    : mode_(Mode::Installed), folder_(withSlash(programFolder)), data_(withSlash(places.dataFolder)),
      downloads_(withSlash(places.downloadFolder)), systemSiteConfig_(places.systemSiteConfig) {}

LocalFiles::Mode LocalFiles::ModeOf(const QString& programFolder) {
    const QByteArray forced = qgetenv("QUELLIX_FILE_MODE");
    if (forced == "portable")
        return Mode::Portable;
    if (forced == "installed")
        return Mode::Installed;
    const QString absolute = QDir::cleanPath(QFileInfo(programFolder).absoluteFilePath());
    if (absolute.startsWith(QStringLiteral("/usr/")))
        return Mode::Installed;
    return canCreateFileIn(absolute) ? Mode::Portable : Mode::Installed;
}

LocalFiles::UserPlaces LocalFiles::CurrentUserPlaces() {
    UserPlaces places;
    places.dataFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/quellix/");
    places.downloadFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (places.downloadFolder.isEmpty())
        places.downloadFolder = QDir::homePath() + QStringLiteral("/Downloads");
    places.systemSiteConfig = QStringLiteral("/etc/quellix/quellix.cfg");
    return places;
}

LocalFiles LocalFiles::ForProgramFolder(const QString& programFolder) {
    if (ModeOf(programFolder) == Mode::Portable)
        return LocalFiles(programFolder);
    return LocalFiles(programFolder, CurrentUserPlaces());
}

LocalFiles LocalFiles::ofRunningProgram() { return ForProgramFolder(QCoreApplication::applicationDirPath()); }

QStringList LocalFiles::siteConfigCandidates() const {
    const QString beside = path(QStringLiteral("quellix.cfg"));
    if (mode_ == Mode::Portable)
        return {beside};
    return {userSiteConfigFile(), systemSiteConfig_, beside};
}

QString LocalFiles::siteConfigFile() const {
    for (const QString& candidate : siteConfigCandidates())
        if (QFile::exists(candidate))
            return candidate;
    return userSiteConfigFile();
}

bool LocalFiles::makeDataFolder() const { return QDir().mkpath(data_); }

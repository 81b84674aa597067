#pragma once
// Everything the program reads or writes on the local disk, apart from what
// the user uploads and downloads, lies in the program folder: the folder of
// the running executable. This class names those files.

#include <QByteArray>
#include <QString>

class LocalFiles {
public:
    // `programFolder` with or without a trailing "/".
    explicit LocalFiles(const QString& programFolder);
    // The folder of the running executable.
    static LocalFiles ofRunningProgram();

    const QString& programFolder() const { return folder_; }  // ends with "/"
    QString path(const QString& relativeName) const { return folder_ + relativeName; }

    QString siteConfigFile() const { return path(QStringLiteral("quellix.cfg")); }
    QString settingsFile() const { return path(QStringLiteral("settings.cfg")); }
    QString skinsFolder() const { return path(QStringLiteral("skins/")); }
    QString skinPackage(const QString& name) const { return skinsFolder() + name + QStringLiteral(".skn"); }
    QString skinPackageTemp(const QString& name) const { return skinPackage(name) + QStringLiteral(".tmp"); }
    QString skinPreview(const QString& name) const { return skinsFolder() + name + QStringLiteral(".jpg"); }
    QString skinPreviewTemp(const QString& name) const { return skinPreview(name) + QStringLiteral(".tmp"); }
    QString loadingPicture() const { return path(QStringLiteral("res/loading.jpg")); }
    QString downloadsFolder() const { return path(QStringLiteral("Downloads/")); }
    QString okSound() const { return path(QStringLiteral("ok.wav")); }
    QString errorSound() const { return path(QStringLiteral("error.wav")); }
    QString infoText() const { return path(QStringLiteral("info.txt")); }
    QString licenseText() const { return path(QStringLiteral("license.txt")); }
    QString debugMarker() const { return path(QStringLiteral("quellix.debug")); }
    QString debugLog() const { return path(QStringLiteral("debug.txt")); }

private:
    QString folder_;
};

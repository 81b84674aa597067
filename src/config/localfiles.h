#pragma once
// Where the program's local files are, apart from what the user uploads and
// downloads. Two modes:
// - portable: the program folder is writable (a build folder, an unpacked
//   copy); everything lies beside the executable;
// - installed: the program folder is not writable (a system installation);
//   the shipped files are read from the program folder, the files the program
//   writes live in the user's data folder, downloads go to the user's
//   download folder, and "quellix.cfg" is looked up in the user's data
//   folder, then in the operator's system-wide place, then beside the program.
// The client and quellix-tool follow the same rules.

#include <QByteArray>
#include <QString>
#include <QStringList>

class LocalFiles {
public:
    enum class Mode { Portable, Installed };

    // The places outside the program folder that an installed copy uses.
    struct UserPlaces {
        QString dataFolder;        // the user's data folder for this program
        QString downloadFolder;    // the user's download folder
        QString systemSiteConfig;  // the operator's site-wide quellix.cfg
    };

    // Portable mode: everything in `programFolder` (with or without a
    // trailing "/").
    explicit LocalFiles(const QString& programFolder);
    // Installed mode: shipped files in `programFolder`, the rest in `places`.
    LocalFiles(const QString& programFolder, const UserPlaces& places);

    // Portable when the folder is writable, installed otherwise. The
    // environment variable QUELLIX_FILE_MODE ("portable" or "installed")
    // decides instead when set. A folder under /usr counts as installed even
    // for a user (root) who can write there.
    static Mode ModeOf(const QString& programFolder);
    // $XDG_DATA_HOME/quellix (normally ~/.local/share/quellix), the user's
    // download folder and /etc/quellix/quellix.cfg.
    static UserPlaces CurrentUserPlaces();
    // The files of a program in `programFolder`, in the mode it runs in.
    static LocalFiles ForProgramFolder(const QString& programFolder);
    // The folder of the running executable, in the mode it runs in.
    static LocalFiles ofRunningProgram();

    Mode mode() const { return mode_; }
    const char* modeName() const { return mode_ == Mode::Portable ? "portable" : "installed"; }
    // Where the shipped files are; ends with "/".
    const QString& programFolder() const { return folder_; }
    // Where the program writes settings.cfg, skins/ and debug.txt and looks
    // for the marker; the program folder in portable mode. Ends with "/".
    const QString& dataFolder() const { return data_; }
    // A shipped file.
    QString path(const QString& relativeName) const { return folder_ + relativeName; }

    // The places "quellix.cfg" is looked for, in order.
    QStringList siteConfigCandidates() const;
    // The first candidate that exists; when none does, the user's one.
    QString siteConfigFile() const;
    // The one a user writes (the site dialog, quellix-tool).
    QString userSiteConfigFile() const { return data_ + QStringLiteral("quellix.cfg"); }

    QString settingsFile() const { return data_ + QStringLiteral("settings.cfg"); }
    // The user's transfer options (Qt's INI format), beside settings.cfg.
    QString optionsFile() const { return data_ + QStringLiteral("quellix.ini"); }
    // The unfinished downloads of every site and account, kept between runs.
    QString downloadQueueFile() const { return data_ + QStringLiteral("downloads.queue"); }
    QString skinsFolder() const { return data_ + QStringLiteral("skins/"); }
    QString skinPackage(const QString& name) const { return skinsFolder() + name + QStringLiteral(".skn"); }
    QString skinPackageTemp(const QString& name) const { return skinPackage(name) + QStringLiteral(".tmp"); }
    QString skinPreview(const QString& name) const { return skinsFolder() + name + QStringLiteral(".jpg"); }
    QString skinPreviewTemp(const QString& name) const { return skinPreview(name) + QStringLiteral(".tmp"); }
    QString loadingPicture() const { return path(QStringLiteral("res/loading.jpg")); }
    QString downloadsFolder() const { return downloads_; }
    QString okSound() const { return path(QStringLiteral("ok.wav")); }
    QString errorSound() const { return path(QStringLiteral("error.wav")); }
    QString infoText() const { return path(QStringLiteral("info.txt")); }
    QString licenseText() const { return path(QStringLiteral("license.txt")); }
    QString debugMarker() const { return data_ + QStringLiteral("quellix.debug"); }
    QString debugLog() const { return data_ + QStringLiteral("debug.txt"); }

    // Creates the data folder when missing; false when it cannot be made.
    bool makeDataFolder() const;

private:
    Mode mode_;
    QString folder_;
    QString data_;
    QString downloads_;
    QString systemSiteConfig_;
};

#pragma once
// The shared skin data with which every window is drawn. A skin package is a
// Qt resource file compiled with `rcc -binary` that holds "skin.qss" (a style
// sheet) and the images it uses; the style sheet names its images as
// "skin:/path", which loading maps to wherever the package is mounted.
// Loading a package applies its style sheet to the whole application, so
// every window redraws with it at once.

#include <QByteArray>
#include <QString>

class TSkinData {
public:
    TSkinData();
    ~TSkinData();
    TSkinData(const TSkinData&) = delete;
    TSkinData& operator=(const TSkinData&) = delete;

    // The skin compiled into the program, "Laconic".
    void LoadBuiltIn();
    // Loads a skin package file; raises EInOutError when the file is not a
    // skin package. The skin in use stays when loading fails.
    void LoadFromFile(const QString& path);

    // The style sheet now applied.
    const QString& StyleSheet() const { return styleSheet_; }
    // Path of the loaded package, empty for the built-in skin.
    const QString& LoadedFile() const { return loadedFile_; }

private:
    void apply(const QString& styleSheet);
    void releaseMounted();

    QString styleSheet_;
    QString loadedFile_;
    QByteArray mountedData_;  // the package's bytes, registered while in use
    QString mountRoot_;
};

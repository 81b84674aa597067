#pragma once
// Handing addresses and folders to the desktop, and playing sounds.

#include <QByteArray>
#include <QString>

// Opens a site address (GBK bytes, as the site's texts are) in the default
// web browser. An empty address does nothing.
void ShellOpenAddress(const QByteArray& address);

// Opens a local folder in the file manager.
void ShellOpenFolder(const QString& folder);

// Plays a sound file without waiting for it; a missing file or an absent
// sound device plays nothing.
void PlaySoundAsync(const QString& path);

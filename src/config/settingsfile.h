#pragma once
// The settings file "settings.cfg": one line, the settings-file codec frame
// of "skin name|AccountName", written whole when a skin is applied.

#include "config/localfiles.h"

#include <QByteArray>
#include <optional>

// The skin name of the settings file, or nothing when there is no settings
// file. A file that does not decode raises the codec's error.
std::optional<QByteArray> ReadSettingsSkinName(const LocalFiles& files);

// Rewrites the settings file with exactly one line. Raises EInOutError when
// the file cannot be written.
void WriteSettingsFile(const LocalFiles& files, const QByteArray& skinName, const QByteArray& accountName);

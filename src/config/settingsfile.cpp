#include "config/settingsfile.h"

#include "text/fields.h"
#include "text/scramble.h"
#include "text/textfile.h"

#include <QFile>

std::optional<QByteArray> ReadSettingsSkinName(const LocalFiles& files) {
    if (!QFile::exists(files.settingsFile()))
        return std::nullopt;
    const QByteArray text = SettingsFileCodec(ReadTextFileJoined(files.settingsFile()), CodecDirection::Decode);
    return PickField('|', text, 0);
}

void WriteSettingsFile(const LocalFiles& files, const QByteArray& skinName, const QByteArray& accountName) {
    WriteTextLine(files.settingsFile(), SettingsFileCodec(skinName + "|" + accountName, CodecDirection::Encode),
                  true);
}

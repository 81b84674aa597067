#include "platform/gui/shell.h"

#include "text/gbk.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

void ShellOpenAddress(const QByteArray& address) {
    if (address.isEmpty())
        return;
    QDesktopServices::openUrl(QUrl(FromGbk(address), QUrl::TolerantMode));
}

void ShellOpenFolder(const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }

void PlaySoundAsync(const QString& path) {
    if (!QFileInfo::exists(path))
        return;
    auto* effect = new QSoundEffect(QCoreApplication::instance());
    // The effect removes itself once it has played or failed to load.
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying())
            effect->deleteLater();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error)
            effect->deleteLater();
        else if (effect->status() == QSoundEffect::Ready)
            effect->play();
    });
    effect->setSource(QUrl::fromLocalFile(path));
}

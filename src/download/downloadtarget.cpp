#include "download/downloadtarget.h"

#include "login/siterequest.h"
#include "text/errors.h"
#include "text/gbk.h"

#include <QFileInfo>
#include <QRandomGenerator>

QString SafeLocalFileName(const QString& name) {
    QString safe = name;
    for (QChar& c : safe)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('_');
    bool onlyDots = true;
    for (const QChar c : std::as_const(safe))
        onlyDots = onlyDots && c == QLatin1Char('.');
    if (onlyDots)
        safe = QString(std::max<qsizetype>(safe.size(), 1), QLatin1Char('_'));
    return safe;
}

FileNameParts SplitExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

QString RandomText(int length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i)
        text.append(QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(62)]));
    return text;
}

namespace {

// Creates `path` only when nothing is there yet. False when the name is
// taken (also when it appeared just now); raises for any other failure.
// A dangling symbolic link counts as taken: creating through it would write
// wherever it points.
bool taken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool createNew(QFile& file) {
    if (taken(file.fileName()))
        return false;
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    if (taken(file.fileName()))
        return false;
    throw EInOutError("Cannot create file " + ToGbk(file.fileName()) + ": " + ToGbk(file.errorString()));
}

}  // namespace

DownloadTarget CreateDownloadTarget(const QString& folder, const QString& name,
                                    const std::function<QString()>& suffix, int maxTries) {
    const QString safe = SafeLocalFileName(name);
    DownloadTarget target;
    target.path = folder + safe;
    target.file = std::make_unique<QFile>(target.path);
    if (createNew(*target.file))
        return target;
    const FileNameParts parts = SplitExtension(safe);
    for (int attempt = 0; attempt < maxTries; ++attempt) {
        const QString drawn = suffix ? suffix() : RandomText(2);
        target.path = folder + parts.base + QLatin1Char('_') + drawn + parts.ext;
        target.file = std::make_unique<QFile>(target.path);
        if (createNew(*target.file))
            return target;
    }
    throw EInOutError("No free file name for " + ToGbk(folder + safe));
}

QByteArray DownloadAddress(const QByteArray& siteUrl, const QByteArray& id, const QByteArray& accountName,
                           const QByteArray& accountToken) {
    return ClientMainUrl(siteUrl) + "?action=download&file_id=" + id + "&username=" + accountName +
           "&password=" + accountToken;
}

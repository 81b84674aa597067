#include "platform/gui/skindata.h"

#include "platform/gui/skinpackage.h"

#include "text/errors.h"
#include "text/gbk.h"

#include <QApplication>
#include <QFile>
#include <QResource>

namespace {

int mountCounter = 0;

QString readResourceText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

}  // namespace

TSkinData::TSkinData() = default;

TSkinData::~TSkinData() { releaseMounted(); }

void TSkinData::releaseMounted() {
    if (!mountRoot_.isEmpty())
        QResource::unregisterResource(reinterpret_cast<const uchar*>(mountedData_.constData()), mountRoot_);
    mountRoot_.clear();
    mountedData_.clear();
}

void TSkinData::LoadBuiltIn() {
    const QString sheet = readResourceText(QStringLiteral(":/laconic/skin.qss"));
    QString mapped = sheet;
    mapped.replace(QStringLiteral("skin:/"), QStringLiteral(":/laconic/"));
    apply(mapped);
    releaseMounted();
    loadedFile_.clear();
}

void TSkinData::LoadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError("Cannot open skin file " + ToGbk(path) + ": " + ToGbk(file.errorString()));
    QByteArray data = file.readAll();
    if (!IsWellFormedResourceFile(data))
        throw EInOutError("Not a skin file or damaged: " + ToGbk(path));
    const QString root = QStringLiteral("/skin%1").arg(++mountCounter);
    if (!QResource::registerResource(reinterpret_cast<const uchar*>(data.constData()), root))
        throw EInOutError("Not a skin file: " + ToGbk(path));
    const QString sheet = readResourceText(QLatin1Char(':') + root + QStringLiteral("/skin.qss"));
    if (sheet.isEmpty()) {
        QResource::unregisterResource(reinterpret_cast<const uchar*>(data.constData()), root);
        throw EInOutError("Not a skin file: " + ToGbk(path));
    }
    QString mapped = sheet;
    mapped.replace(QStringLiteral("skin:/"), QLatin1Char(':') + root + QLatin1Char('/'));
    apply(mapped);
    // The old package's images are no longer referenced once the new style
    // sheet is in place.
    releaseMounted();
    mountedData_ = std::move(data);
    mountRoot_ = root;
    loadedFile_ = path;
}

void TSkinData::apply(const QString& styleSheet) {
    styleSheet_ = styleSheet;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(styleSheet);
}

#include "skinfiles.h"

#include "support/testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

QStringList SkinNames() {
    QStringList names;
    const QDir root(SourceDir() + QStringLiteral("/skins"));
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        if (QFileInfo::exists(root.filePath(folder + QStringLiteral("/skin.qss"))))
            names << folder;
    return names;
}

QString SkinPackagePath(const QString& name) {
    return QStringLiteral(QUELLIX_SKIN_SERVER_DIR "/") + name + QStringLiteral(".skn");
}

QString SkinPreviewPath(const QString& name) {
    return QStringLiteral(QUELLIX_SKIN_SERVER_DIR "/") + name + QStringLiteral(".jpg");
}

QStringList StyleSheetUrls(const QString& styleSheet) {
    static const QRegularExpression url(QStringLiteral("url\\(\\s*['\"]?([^'\")]+?)['\"]?\\s*\\)"));
    QStringList found;
    for (auto it = url.globalMatch(styleSheet); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

QString CompileResourceFile(const QString& folder, const QMap<QString, QByteArray>& files) {
    QString qrc = QStringLiteral("<RCC><qresource prefix=\"/\">");
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString path = folder + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).path());
        WriteFileBytes(path, it.value());
        qrc += QStringLiteral("<file>") + it.key() + QStringLiteral("</file>");
    }
    qrc += QStringLiteral("</qresource></RCC>");
    const QString qrcPath = folder + QStringLiteral("/package.qrc");
    const QString out = folder + QStringLiteral("/package.skn");
    WriteFileBytes(qrcPath, qrc.toUtf8());
    const ProcessResult rcc =
        RunProcess(QStringLiteral(QUELLIX_RCC), {QStringLiteral("--binary"), qrcPath, QStringLiteral("-o"), out});
    return rcc.finished && rcc.exitCode == 0 ? out : QString();
}

#pragma once
// The skins as the build leaves them, and small helpers around packages.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Names of the skins in the source tree (one folder with a "skin.qss" each).
QStringList SkinNames();
// The built package and preview of a skin on the skin server.
QString SkinPackagePath(const QString& name);
QString SkinPreviewPath(const QString& name);

// Every address inside url(...) of a style sheet, in order.
QStringList StyleSheetUrls(const QString& styleSheet);

// Compiles `files` (resource path -> content) with rcc into a binary
// resource file in `folder` and gives its path; empty when rcc fails.
QString CompileResourceFile(const QString& folder, const QMap<QString, QByteArray>& files);

#include "config/debuglog.h"

#include "platform/helperlib.h"

#include <QFile>

bool DebugLogAllowed(const LocalFiles& files, bool debugLogEnabled) {
    return debugLogEnabled && QFile::exists(files.debugMarker());
}

void WriteDebugLogEntry(const LocalFiles& files, bool debugLogEnabled, const QList<QByteArray>& lines) {
    if (!DebugLogAllowed(files, debugLogEnabled))
        return;
    for (const QByteArray& line : lines)
        WriteToFile(files.debugLog(), line);
}

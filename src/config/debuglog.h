#pragma once
// The FTP debug log "debug.txt": written only while the marker file
// "quellix.debug" exists and the logged-in account's debug flag is set. Both
// conditions are checked anew for every entry.

#include "config/localfiles.h"

#include <QByteArray>
#include <QList>

bool DebugLogAllowed(const LocalFiles& files, bool debugLogEnabled);

// Appends the lines, one write each, when the log is allowed.
void WriteDebugLogEntry(const LocalFiles& files, bool debugLogEnabled, const QList<QByteArray>& lines);

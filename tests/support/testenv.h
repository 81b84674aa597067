#pragma once
// The environment every test program runs in, set by the test mains before
// the application object exists: a UTF-8 locale, and the web engine's
// sandbox turned off (the tests run as root, where the engine refuses to
// start inside it). Variables the caller set stay as they are.

#include <QByteArray>
#include <QtGlobal>

inline void SetTestEnvironment() {
    if (!qEnvironmentVariableIsSet("LC_ALL"))
        qputenv("LC_ALL", QByteArray("C.UTF-8"));
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
}

#pragma once
// The environment every test program runs in, set by the test mains before
// the application object exists: a UTF-8 locale, and the web engine's
// sandbox turned off (the tests run as root, where the engine refuses to
// start inside it). Variables the caller set stay as they are.

#include <QByteArray>
#include <QtGlobal>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

// Under AddressSanitizer: whether memory leaked while the tests ran (the
// report goes to the sanitizer's log), so that the test program fails
// itself. Memory still reachable - the application object, Qt's globals -
// is no leak.
inline bool LeakedMemory() {
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

inline void SetTestEnvironment() {
    if (!qEnvironmentVariableIsSet("LC_ALL"))
        qputenv("LC_ALL", QByteArray("C.UTF-8"));
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("1"));
}

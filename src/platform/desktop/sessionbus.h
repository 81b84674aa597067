#pragma once
// The desktop session's message bus (D-Bus), through which the keyring and
// the notification service answer.

#include <QString>

// Whether a session bus can be reached without starting one: its address
// is in DBUS_SESSION_BUS_ADDRESS, or the user's runtime folder holds its
// socket. (A bare connection attempt would otherwise start a bus of its
// own through X11 autolaunch, which nothing else on the desktop would use.)
bool SessionBusReachable();

// Whether `service` is on the session bus now, or the bus can start it.
bool SessionBusHasService(const QString& service);

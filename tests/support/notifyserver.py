"""A notification server for tests: owns org.freedesktop.Notifications on
the session bus and writes every Notify call as one JSON line to the file
named by its first argument. Prints "ready" once it owns the name."""

import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Server(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.last = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
        self.last += 1
        record = {"app_name": str(app_name), "replaces_id": int(replaces_id), "app_icon": str(app_icon),
                  "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
                  "hints": sorted(str(k) for k in hints.keys()),
                  "desktop_entry": str(hints.get("desktop-entry", "")),
                  "expire_timeout": int(expire_timeout)}
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(json.dumps(record, ensure_ascii=False) + "\n")
        return dbus.UInt32(self.last)

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("quellix-test", "quellix", "1", "1.2")

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, notification_id):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    server = Server(bus, sys.argv[1])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, server


if __name__ == "__main__":
    main()

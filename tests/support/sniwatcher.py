"""A tray for tests, on the session bus of DBUS_SESSION_BUS_ADDRESS: the
StatusNotifierWatcher of a desktop with a tray host, and the host's side of
an item (its tooltip, a click on it, a click in its menu).

  sniwatcher.py serve LOG        own org.kde.StatusNotifierWatcher and write
                                 each registered item's service to LOG;
                                 prints "ready" once it owns the name
  sniwatcher.py tooltip SERVICE  prints the item's tooltip title and text
  sniwatcher.py activate SERVICE a left click on the item
  sniwatcher.py click SERVICE LABEL  a click on the menu entry LABEL
"""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
PROPERTIES = "org.freedesktop.DBus.Properties"


# Qt reads the watcher's properties through an interface built from the
# introspection data, so it has to name them.
INTROSPECTION = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg direction="out" type="s"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="out" type="v"/></method>
    <method name="GetAll"><arg direction="in" type="s"/><arg direction="out" type="a{sv}"/></method>
  </interface>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg direction="in" type="s"/></method>
    <method name="RegisterStatusNotifierHost"><arg direction="in" type="s"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.log = log
        self.items = []

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        name = str(service) if str(service).startswith(("org.", ":")) else str(sender)
        self.items.append(name)
        with open(self.log, "a", encoding="utf-8") as out:
            out.write(name + "\n")
        self.StatusNotifierItemRegistered(name)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.method("org.freedesktop.DBus.Introspectable", in_signature="", out_signature="s",
                         path_keyword="object_path", connection_keyword="connection")
    def Introspect(self, object_path, connection):
        return INTROSPECTION

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[str(name)]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}


def item(bus, service):
    return bus.get_object(service, "/StatusNotifierItem")


def find_label(layout, label):
    item_id, properties, children = layout
    if str(properties.get("label", "")).replace("&", "") == label:
        return int(item_id)
    for child in children:
        found = find_label(child, label)
        if found is not None:
            return found
    return None


def main():
    command = sys.argv[1]
    if command == "serve":
        from gi.repository import GLib
        DBusGMainLoop(set_as_default=True)
        bus = dbus.SessionBus()
        name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
        watcher = Watcher(bus, sys.argv[2])
        print("ready", flush=True)
        GLib.MainLoop().run()
        del name, watcher
        return
    bus = dbus.SessionBus()
    service = sys.argv[2]
    target = item(bus, service)
    if command == "tooltip":
        tip = target.Get(ITEM, "ToolTip", dbus_interface=PROPERTIES)
        print(str(tip[2]))
        print(str(tip[3]))
    elif command == "activate":
        target.Activate(dbus.Int32(0), dbus.Int32(0), dbus_interface=ITEM)
    elif command == "click":
        path = target.Get(ITEM, "Menu", dbus_interface=PROPERTIES)
        menu = bus.get_object(service, path)
        _, layout = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"),
                                   dbus_interface="com.canonical.dbusmenu")
        entry = find_label(layout, sys.argv[3])
        if entry is None:
            sys.exit("no menu entry " + sys.argv[3])
        menu.Event(dbus.Int32(entry), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                   dbus_interface="com.canonical.dbusmenu")


if __name__ == "__main__":
    main()

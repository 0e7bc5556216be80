#!/usr/bin/python3
# A StatusNotifierWatcher for the tests: it records each item that
# registers, reads the item's properties and its menu, then plays the
# panel's part: actions from the command line are sent to the item:
# "activate", "click:<id>" (a dbusmenu event), "contextmenu:<x>,<y>" (the
# item's own popup), and "client" / "clientclick:<id>", which read the menu
# and click in it through libdbusmenu, the client that panels draw menus
# with. One JSON line per registration goes to the output file.
import json
import sys
import time

import gi

gi.require_version("Gio", "2.0")
gi.require_version("Dbusmenu", "0.4")
from gi.repository import Dbusmenu, Gio, GLib  # noqa: E402

OUT, ACTIONS = sys.argv[1], sys.argv[2:]
XML = """<node><interface name="org.kde.StatusNotifierWatcher">
<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
</interface></node>"""
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
items = []


def call(name, path, iface, method, args, reply):
    return bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, 5000, None)


def settle(seconds):
    # Runs the loop for a while: libdbusmenu talks to the item asynchronously.
    end = time.monotonic() + seconds
    ctx = GLib.MainContext.default()
    while time.monotonic() < end:
        ctx.iteration(False) or time.sleep(0.01)


def menu_client(name, path):
    client = Dbusmenu.Client.new(name, path)
    end = time.monotonic() + 10
    while time.monotonic() < end and not (client.get_root() and client.get_root().get_children()):
        settle(0.05)
    return client


def inspect(name):
    props = call(name, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "GetAll",
                 GLib.Variant("(s)", ("org.kde.StatusNotifierItem",)), "(a{sv})").unpack()[0]
    menu = props["Menu"]
    layout = call(name, menu, "com.canonical.dbusmenu", "GetLayout",
                  GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))").unpack()[1]
    record = {
        "name": name,
        "id": props["Id"], "title": props["Title"], "status": props["Status"],
        "tooltip": props["ToolTip"][2], "menu": menu,
        "icons": [[w, h, len(data)] for (w, h, data) in props["IconPixmap"]],
        "items": [[child[0], child[1].get("label", "")] for child in layout[2]],
    }
    client = None
    for action in ACTIONS:
        if action in ("client", "clientclick") or action.startswith("clientclick:"):
            client = client or menu_client(name, menu)
            if action == "client":
                record["client_items"] = [[c.get_id(), c.property_get("label") or "", c.property_get_bool("enabled")]
                                          for c in client.get_root().get_children()] if client.get_root() else []
            else:
                wanted = int(action.split(":")[1])
                for c in client.get_root().get_children() if client.get_root() else []:
                    if c.get_id() == wanted:
                        c.handle_event("clicked", GLib.Variant("i", 0), 0)
                settle(0.5)
        elif action.startswith("contextmenu:"):
            x, y = (int(v) for v in action[12:].split(","))
            call(name, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "ContextMenu", GLib.Variant("(ii)", (x, y)),
                 None)
        elif action == "activate":
            call(name, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", GLib.Variant("(ii)", (0, 0)), None)
        elif action.startswith("click:"):
            call(name, menu, "com.canonical.dbusmenu", "Event",
                 GLib.Variant("(isvu)", (int(action[6:]), "clicked", GLib.Variant("s", ""), 0)), None)
    with open(OUT, "a") as f:
        f.write(json.dumps(record) + "\n")
    return False


def on_call(conn, sender, path, iface, method, params, invocation):
    if method == "RegisterStatusNotifierItem":
        service = params.unpack()[0]
        name = service if not service.startswith("/") else sender
        items.append(name)
        GLib.idle_add(inspect, name)
    invocation.return_value(None)


def on_get(conn, sender, path, iface, prop):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[prop]


node = Gio.DBusNodeInfo.new_for_xml(XML)
bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_get, None)
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE, None, None)
GLib.MainLoop().run()

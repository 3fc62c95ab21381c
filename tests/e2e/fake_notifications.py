#!/usr/bin/python3
"""A desktop's notification server, as small as GLib needs it: takes the
name org.freedesktop.Notifications on the session bus and appends each
notification it is sent to a file, one JSON object a line.

  fake_notifications.py OUTPUT_FILE

Prints "ready" once it owns the name; runs until killed.
"""
import json
import sys

from gi.repository import Gio, GLib

OUT = sys.argv[1]
INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>"""
count = 0


def on_call(connection, sender, path, interface, method, args, invocation):
    global count
    if method == "Notify":
        count += 1
        app, _replaces, _icon, summary, body, actions, hints, _timeout = args.unpack()
        with open(OUT, "a", encoding="utf-8") as out:
            out.write(json.dumps({"app": app, "summary": summary, "body": body,
                                  "actions": actions,
                                  "desktop_entry": hints.get("desktop-entry")}) + "\n")
        invocation.return_value(GLib.Variant("(u)", (count,)))
    elif method == "GetCapabilities":
        invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
    elif method == "GetServerInformation":
        invocation.return_value(GLib.Variant("(ssss)", ("fake", "orvo", "1", "1.2")))
    else:
        invocation.return_value(None)


def on_bus(connection, name):
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    connection.register_object("/org/freedesktop/Notifications", node.interfaces[0], on_call)


def on_name(connection, name):
    print("ready", flush=True)


Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                 Gio.BusNameOwnerFlags.NONE, on_bus, on_name, None)
GLib.MainLoop().run()

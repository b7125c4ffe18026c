#!/usr/bin/python3
"""A stand-in file manager on the session bus: owns org.freedesktop.FileManager1
and writes one line per ShowItems call ("ShowItems URI..."), ShowFolders and
ShowItemProperties likewise, to the file named by its argument. Ready once
the name is owned (the bus says so).

    fake-file-manager.py CALLS_FILE
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.FileManager1"
PATH = "/org/freedesktop/FileManager1"


class FileManager(dbus.service.Object):
    def __init__(self, bus, calls):
        super().__init__(bus, PATH)
        self.calls = calls

    def record(self, method, uris):
        with open(self.calls, "a") as out:
            out.write(" ".join([method] + [str(uri) for uri in uris]) + "\n")

    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowItems(self, uris, startup_id):
        self.record("ShowItems", uris)

    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowFolders(self, uris, startup_id):
        self.record("ShowFolders", uris)

    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowItemProperties(self, uris, startup_id):
        self.record("ShowItemProperties", uris)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus, do_not_queue=True)
    manager = FileManager(bus, sys.argv[1])
    GLib.MainLoop().run()
    del name, manager


if __name__ == "__main__":
    main()

"""A stand-in logind on the tests' private system bus. Its Reboot, like the real one, first asks the bus daemon who
the caller is, so a caller that has gone is refused; then, as polkit decides for it, lets the user at the seat (uid
in <logs>/seat) restart and refuses anyone else with logind's error. It prints "ready", and logs what it accepts."""
import sys
from pathlib import Path

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOGS = Path(sys.argv[1])


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="b", sender_keyword="sender")
    def Reboot(self, interactive, sender):
        daemon = self.connection.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        if daemon.GetConnectionUnixUser(sender, dbus_interface="org.freedesktop.DBus") != int(
                (LOGS / "seat").read_text()):
            raise dbus.exceptions.DBusException("Permission denied", name="org.freedesktop.DBus.Error.AccessDenied")
        with open(LOGS / "logind.log", "a") as log:
            print(f"Reboot {bool(interactive)}", file=log)


DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
name = dbus.service.BusName("org.freedesktop.login1", bus, do_not_queue=True)
Manager(bus, "/org/freedesktop/login1")
print("ready", flush=True)
GLib.MainLoop().run()

"""A stand-in logind on the test's private system bus. Its Reboot, like the real one, first asks the bus
daemon who the caller is, so a caller that has gone is refused. It prints "ready", then each Reboot."""
import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="b", sender_keyword="sender")
    def Reboot(self, interactive, sender):
        daemon = self.connection.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        daemon.GetConnectionUnixUser(sender, dbus_interface="org.freedesktop.DBus")
        print(f"Reboot {bool(interactive)}", flush=True)


DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
name = dbus.service.BusName("org.freedesktop.login1", bus, do_not_queue=True)
Manager(bus, "/org/freedesktop/login1")
print("ready", flush=True)
GLib.MainLoop().run()

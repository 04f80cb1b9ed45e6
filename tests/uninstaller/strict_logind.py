"""python-dbusmock template: logind whose Reboot, like the real one, first asks the bus
daemon for the caller's credentials and fails when the caller has gone. Only a Reboot
that got this far is logged."""
import dbus
import dbus.service
from dbusmock.templates import logind
from dbusmock.templates.logind import BUS_NAME, MAIN_IFACE, MAIN_OBJ, SYSTEM_BUS  # noqa: F401


@dbus.service.method(MAIN_IFACE, in_signature="b", out_signature="", sender_keyword="sender",
                     connection_keyword="connection")
def Reboot(self, interactive, sender=None, connection=None):
    bus = connection.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    bus.GetConnectionUnixUser(sender, dbus_interface="org.freedesktop.DBus")
    self.log(f"Reboot {bool(interactive)}")


def load(mock, parameters):
    logind.load(mock, parameters)
    in_signature, out_signature, _, _ = mock.methods[MAIN_IFACE]["Reboot"]
    mock.methods[MAIN_IFACE]["Reboot"] = (in_signature, out_signature, "", Reboot)

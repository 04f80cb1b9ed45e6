"""Stand-ins for logind and PackageKit on the tests' private system bus, as strict as the real ones where the
uninstaller meets them. Each asks the bus who the caller is before it acts; "polkit" lets the user at the seat (uid in
<logs>/seat) alone. logind's Reboot refuses anyone else with logind's error. PackageKit is there when
<logs>/administrator holds the administrator's answer (yes or no): a transaction is its creator's; Resolve reports the
package installed in dpkg's database (argv[2]) by its full id; RemovePackages takes only that, asks only with the hint
interactive=true, and removes the package's files as dpkg does. It prints "ready", and logs what it grants."""
import itertools
import sys
from pathlib import Path

import dbus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOGS, DPKG = Path(sys.argv[1]), Path(sys.argv[2])
TRANSACTION = "org.freedesktop.PackageKit.Transaction"
INFO_INSTALLED, EXIT_SUCCESS, EXIT_FAILED, ERROR_NOT_INSTALLED, ERROR_NOT_AUTHORIZED = 1, 1, 2, 7, 48
NUMBERS = itertools.count(1)


def seated(connection, sender):
    daemon = connection.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    uid = daemon.GetConnectionUnixUser(sender, dbus_interface="org.freedesktop.DBus")
    return uid == int((LOGS / "seat").read_text())


def log(service, line):
    with open(LOGS / f"{service}.log", "a") as file:
        print(line, file=file)


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="b", sender_keyword="sender")
    def Reboot(self, interactive, sender):
        if not seated(self.connection, sender):
            raise dbus.exceptions.DBusException("Permission denied", name="org.freedesktop.DBus.Error.AccessDenied")
        log("logind", f"Reboot {bool(interactive)}")


def installed():
    """The full id of the package that the status file (of one package) holds as installed, else None."""
    fields = dict(line.split(": ", 1) for line in (DPKG / "status").read_text().splitlines() if ": " in line)
    if fields.get("Status") == "install ok installed":
        return f"{fields['Package']};{fields['Version']};{fields['Architecture']};installed"


def remove(name):
    """As dpkg does: the package's files, then its folders that are left empty, deepest first, then its records."""
    listed = DPKG / f"info/{name}.list"
    for path in sorted(map(Path, listed.read_text().splitlines()), reverse=True):  # what a folder holds first
        if path.is_symlink() or not path.is_dir():
            path.unlink()
        elif not any(path.iterdir()):
            path.rmdir()
    listed.unlink()
    (DPKG / "status").write_text("")


class Transaction(dbus.service.Object):
    def __init__(self, connection, path, sender):
        super().__init__(connection, path)
        self.sender, self.hints = sender, []

    def emit(self, member, signature, *arguments):
        signal = dbus.lowlevel.SignalMessage(self.__dbus_object_path__, TRANSACTION, member)
        signal.append(*arguments, signature=signature)
        self.connection.send_message(signal)

    def check(self, sender):
        if sender != self.sender:
            raise dbus.exceptions.DBusException("Not its client", name="org.freedesktop.PackageKit.Denied")

    def run(self, sender, work):
        """Runs work after the reply, as the real one does; an error it returns ends the transaction as failed."""
        self.check(sender)

        def finish():
            error = work()
            if error:
                self.emit("ErrorCode", "us", *error)
            self.emit("Finished", "uu", EXIT_FAILED if error else EXIT_SUCCESS, 0)
            self.emit("Destroy", "")
            self.remove_from_connection()
        GLib.idle_add(finish)

    @dbus.service.method(TRANSACTION, in_signature="as", sender_keyword="sender")
    def SetHints(self, hints, sender):
        self.check(sender)
        self.hints += hints

    @dbus.service.method(TRANSACTION, in_signature="tas", sender_keyword="sender")
    def Resolve(self, filters, names, sender):
        def work():
            if (package := installed()) and package.split(";")[0] in names:
                self.emit("Package", "uss", INFO_INSTALLED, package, "")
        self.run(sender, work)

    @dbus.service.method(TRANSACTION, in_signature="tasbb", sender_keyword="sender")
    def RemovePackages(self, flags, ids, allow_deps, autoremove, sender):
        def work():
            asked = "interactive=true" in self.hints and seated(self.connection, sender)
            if not asked or (LOGS / "administrator").read_text() != "yes":
                return ERROR_NOT_AUTHORIZED, "Failed to obtain authentication."
            if ids != [installed()]:
                return ERROR_NOT_INSTALLED, f"{ids} not installed"
            remove(ids[0].split(";")[0])
            log("packagekit", f"RemovePackages {ids[0]}")
        self.run(sender, work)


class Engine(dbus.service.Object):
    @dbus.service.method("org.freedesktop.PackageKit", out_signature="o", sender_keyword="sender")
    def CreateTransaction(self, sender):
        path = f"/{next(NUMBERS)}_transaction"
        Transaction(self.connection, path, sender)
        return path


DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
names = [dbus.service.BusName(name, bus, do_not_queue=True) for name in ["org.freedesktop.login1"] + [
    "org.freedesktop.PackageKit"] * (LOGS / "administrator").exists()]
Manager(bus, "/org/freedesktop/login1")
Engine(bus, "/org/freedesktop/PackageKit")
print("ready", flush=True)
GLib.MainLoop().run()

"""A stand-in PackageKit on the tests' private system bus, as strict as the real one where the uninstaller meets it. A
transaction belongs to the connection that created it, whose uid it asks the bus for. Resolve reports the packages
that dpkg's database (folder argv[2]) holds as installed, by their full ids. RemovePackages takes full ids of installed
packages alone and asks "polkit" only with the hint interactive=true, and then only for the user at the seat (uid in
<logs>/seat), whose administrator answers argv[3] (yes or no); it then removes the package's files as dpkg does. It
prints "ready", and logs each removal with its caller's uid."""
import itertools
import sys
from pathlib import Path

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

LOGS, DPKG, ANSWER = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
TRANSACTION = "org.freedesktop.PackageKit.Transaction"
INFO_INSTALLED, EXIT_SUCCESS, EXIT_FAILED, ERROR_NOT_INSTALLED, ERROR_NOT_AUTHORIZED = 1, 1, 2, 7, 48
NUMBERS = itertools.count(1)


def installed():
    """{full package id: name} of the packages that the status file holds as installed."""
    stanzas = [dict(line.split(": ", 1) for line in stanza.splitlines() if ": " in line)
               for stanza in (DPKG / "status").read_text().split("\n\n")]
    return {f"{s['Package']};{s['Version']};{s['Architecture']};installed": s["Package"] for s in stanzas
            if s.get("Status") == "install ok installed"}


def remove(name):
    """As dpkg does: the package's files, then its folders that are left empty, deepest first, then its records."""
    listed = DPKG / f"info/{name}.list"
    for path in sorted(map(Path, listed.read_text().splitlines()), key=lambda path: -len(path.parts)):
        if path.is_symlink() or path.is_file():
            path.unlink()
        elif path.is_dir() and not any(path.iterdir()):
            path.rmdir()
    listed.unlink()
    (DPKG / "status").write_text((DPKG / "status").read_text().replace("install ok installed", "not-installed"))


class Transaction(dbus.service.Object):
    def __init__(self, connection, path, sender):
        super().__init__(connection, path)
        daemon = connection.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        self.sender, self.hints = sender, []
        self.uid = daemon.GetConnectionUnixUser(sender, dbus_interface="org.freedesktop.DBus")

    def check(self, sender):
        if sender != self.sender:
            raise dbus.exceptions.DBusException("Not the transaction's client", name="org.freedesktop.PackageKit.Denied")

    def run(self, sender, work):
        """Runs work after the reply, as the real one does; an error it returns ends the transaction as failed."""
        self.check(sender)

        def finish():
            error = work()
            if error:
                self.ErrorCode(*error)
            self.Finished(EXIT_FAILED if error else EXIT_SUCCESS, 0)
            self.Destroy()
            self.remove_from_connection()
        GLib.idle_add(finish)

    @dbus.service.method(TRANSACTION, in_signature="as", sender_keyword="sender")
    def SetHints(self, hints, sender):
        self.check(sender)
        self.hints += hints

    @dbus.service.method(TRANSACTION, in_signature="tas", sender_keyword="sender")
    def Resolve(self, filters, names, sender):
        def work():
            for id, name in installed().items():
                if name in names:
                    self.Package(INFO_INSTALLED, id, "")
        self.run(sender, work)

    @dbus.service.method(TRANSACTION, in_signature="tasbb", sender_keyword="sender")
    def RemovePackages(self, flags, ids, allow_deps, autoremove, sender):
        def work():
            seated = self.uid == int((LOGS / "seat").read_text())
            if not ("interactive=true" in self.hints and seated and ANSWER == "yes"):
                return ERROR_NOT_AUTHORIZED, "Failed to obtain authentication."
            known = installed()
            if not set(ids) <= set(known):
                return ERROR_NOT_INSTALLED, f"{ids} not installed"
            for id in ids:
                remove(known[id])
                with open(LOGS / "packagekit.log", "a") as log:
                    print(f"RemovePackages {id} by {self.uid}", file=log)
        self.run(sender, work)

    @dbus.service.signal(TRANSACTION, signature="uss")
    def Package(self, info, package_id, summary):
        pass

    @dbus.service.signal(TRANSACTION, signature="us")
    def ErrorCode(self, code, details):
        pass

    @dbus.service.signal(TRANSACTION, signature="uu")
    def Finished(self, exit, runtime):
        pass

    @dbus.service.signal(TRANSACTION, signature="")
    def Destroy(self):
        pass


class Engine(dbus.service.Object):
    @dbus.service.method("org.freedesktop.PackageKit", out_signature="o", sender_keyword="sender")
    def CreateTransaction(self, sender):
        path = f"/{next(NUMBERS)}_transaction"
        Transaction(self.connection, path, sender)
        return path


DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
name = dbus.service.BusName("org.freedesktop.PackageKit", bus, do_not_queue=True)
Engine(bus, "/org/freedesktop/PackageKit")
print("ready", flush=True)
GLib.MainLoop().run()

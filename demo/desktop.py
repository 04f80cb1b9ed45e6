"""A desktop session of its own for the real downloader, shared by the demo and the
downloader's tests: an Xvfb display, a session bus (dbus-daemon with a configuration of its
own, never the user's), no system bus, and python3-dbusmock's notification service, which
records every notification it is sent.

    desktop = Desktop(folder)
    notifications = desktop.notification_service()
    subprocess.Popen([...], env={**environment, **desktop.env})
    notifications.notified()        # [(summary, body), ...]
    notifications.close(); desktop.close()
"""
import os
import subprocess
import sys
from pathlib import Path

import dbus

from tidewell_world import wait_until

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path={folder}/bus</listen><servicedir>{folder}/services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>"""
NOTIFICATIONS = "org.freedesktop.Notifications"


class Desktop:
    """Xvfb and a session bus below folder; `services` (bus name: executable) are what the bus
    may start. `env` is what a program needs to live in this session. The daemons inherit the
    caller's environment with this runtime folder, so a service the bus starts keeps its socket
    here too."""

    def __init__(self, folder, services=None):
        folder = Path(folder)
        (folder / "services").mkdir(parents=True)
        for name, executable in (services or {}).items():
            (folder / "services" / f"{name}.service").write_text(
                f"[D-BUS Service]\nName={name}\nExec={executable}\n")
        (folder / "bus.conf").write_text(BUS_CONFIG.format(folder=folder))
        (folder / "runtime").mkdir(mode=0o700)
        # A socket that does not exist: nothing in the session reaches the machine's system bus.
        self.env = {"XDG_RUNTIME_DIR": str(folder / "runtime"),
                    "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={folder}/no-system-bus"}
        self.started = []
        try:
            self.env["DISPLAY"] = ":" + self._start(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"])
            self.env["DBUS_SESSION_BUS_ADDRESS"] = self._start(
                ["dbus-daemon", "--config-file", str(folder / "bus.conf"), "--nofork", "--print-address=1"])
        except BaseException:
            self.close()
            raise

    def _start(self, command):
        """Starts a daemon that writes one line when it is ready; that line."""
        self.started.append(subprocess.Popen(command, env={**os.environ, **self.env}, stdin=subprocess.DEVNULL,
                                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True))
        line = self.started[-1].stdout.readline().strip()
        if not line:
            raise RuntimeError(f"{command[0]} did not start")
        return line

    def notification_service(self):
        return NotificationService(self)

    def close(self):
        for process in reversed(self.started):
            process.terminate()
            process.communicate(timeout=10)
        self.started = []


class NotificationService:
    """The stand-in notification service on a desktop's bus; `mock` is its dbusmock interface
    (recorded calls, signals to emit)."""

    def __init__(self, desktop):
        self.process = subprocess.Popen([sys.executable, "-m", "dbusmock", "--template", "notification_daemon"],
                                        env={**os.environ, **desktop.env}, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL)
        self.bus = dbus.bus.BusConnection(desktop.env["DBUS_SESSION_BUS_ADDRESS"])
        if not wait_until(lambda: self.bus.name_has_owner(NOTIFICATIONS), timeout=30):
            self.close()
            raise RuntimeError("the notification service did not start")
        self.mock = dbus.Interface(self.bus.get_object(NOTIFICATIONS, "/org/freedesktop/Notifications"),
                                   "org.freedesktop.DBus.Mock")

    def notified(self):
        """(summary, body) of each notification sent so far, in order."""
        return [(str(args[3]), str(args[4])) for _, args in self.mock.GetMethodCalls("Notify")]

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.bus.close()

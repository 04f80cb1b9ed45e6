"""A private system bus for one test: its own dbus-daemon with logind mocked by
python3-dbusmock (strict_logind.py). Nothing here ever talks to the machine's own system bus."""
import os
import subprocess
import time
from pathlib import Path

import dbus

PYTHON = "/usr/bin/python3"

CONFIG = """<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
"""


class PrivateSystemBus:
    """Use as a context manager; env() gives an environment whose system bus is this one."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.log = self.folder / "logind.log"
        self.daemon = None
        self.logind = None
        self.address = None

    def __enter__(self):
        config = self.folder / "bus.conf"
        config.write_text(CONFIG.format(socket=self.folder / "system_bus_socket"))
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--nofork", "--print-address=1", f"--config-file={config}"],
            stdout=subprocess.PIPE, text=True)
        self.address = self.daemon.stdout.readline().strip()
        if not self.address.startswith("unix:path=" + str(self.folder)):
            self.__exit__(None, None, None)
            raise RuntimeError(f"private bus did not start: {self.address!r}")
        self.logind = subprocess.Popen(
            [PYTHON, "-m", "dbusmock", "--system", "--template", str(Path(__file__).with_name("strict_logind.py")), "--logfile", str(self.log)],
            env=self.env(), stdout=subprocess.DEVNULL)
        connection = dbus.bus.BusConnection(self.address)
        try:
            deadline = time.monotonic() + 25
            while not connection.name_has_owner("org.freedesktop.login1"):
                if time.monotonic() > deadline or self.logind.poll() is not None:
                    self.__exit__(None, None, None)
                    raise RuntimeError("mocked logind did not come up")
                time.sleep(0.05)
        finally:
            connection.close()
        return self

    def __exit__(self, *exc):
        for process in (self.logind, self.daemon):
            if process is not None and process.poll() is None:
                process.terminate()
                process.wait(timeout=10)
        if self.daemon is not None:
            self.daemon.stdout.close()

    def env(self, base=None):
        """base (default os.environ) with this bus as the system bus."""
        env = dict(os.environ if base is None else base)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = self.address
        return env

    def check(self, env):
        """Refuses to go on unless env's system bus is this private one."""
        if env.get("DBUS_SYSTEM_BUS_ADDRESS") != self.address:
            raise RuntimeError("refusing to run: DBUS_SYSTEM_BUS_ADDRESS is not the test's private bus")

    def reboot_calls(self):
        """The arguments of each Reboot call that the mocked logind accepted, in order."""
        if not self.log.exists():
            return []
        calls = []
        for line in self.log.read_text().splitlines():
            words = line.split(" ", 2)
            if len(words) >= 2 and words[1] == "Reboot":
                calls.append(words[2] if len(words) > 2 else "")
        return calls

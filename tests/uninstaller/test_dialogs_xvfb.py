"""The real uninstaller under Xvfb, answered with keys: Escape leaves the installation as it is; Return
removes it and asks the stand-in logind to restart, which it accepts only while the caller is connected."""
import os
import subprocess
from pathlib import Path

import pytest

from conftest import AGENT_FILES


@pytest.fixture
def session():
    """A display, a bus of the test's own and the stand-in logind on it."""
    started = []

    def start(command, **options):
        started.append(subprocess.Popen(command, stdout=subprocess.PIPE, text=True, **options))
        return started[-1].stdout.readline().strip()

    try:
        display = start(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        address = start(["dbus-daemon", "--session", "--nofork", "--print-address=1"])
        ready = start(["/usr/bin/python3", str(Path(__file__).with_name("strict_logind.py"))],
                      env={**os.environ, "DBUS_SYSTEM_BUS_ADDRESS": address})
        # Never the real system bus.
        assert display and address.startswith("unix:") and "/run/dbus/" not in address and ready == "ready"
        yield f":{display}", address, started[-1]
    finally:
        for process in reversed(started):
            process.terminate()
            process.communicate(timeout=10)


def answer(display, address, installed, key):
    """Starts the program on the installation and answers its first dialog with key."""
    env = {**installed.env, "DISPLAY": display, "NO_AT_BRIDGE": "1", "GSETTINGS_BACKEND": "memory",
           "XDG_RUNTIME_DIR": str(installed.logs), "DBUS_SESSION_BUS_ADDRESS": f"unix:path={installed.logs}/no-session-bus",
           "DBUS_SYSTEM_BUS_ADDRESS": address}
    program = subprocess.Popen([os.environ["UNINSTALLER_PROGRAM"]], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    # Waits for the dialog, a program that shows none fails by the time-out; xdotool may fail once the key has
    # closed the dialog, a lost key shows as a time-out below.
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Tidewell Uninstaller$", "windowfocus",
                    "--sync", "key", key], env={**os.environ, "DISPLAY": display}, capture_output=True, timeout=30)
    _, log = program.communicate(timeout=120)
    assert program.returncode == 0, log
    return log


def test_escape_leaves_everything_and_return_restarts_through_logind(session, installed):
    display, address, logind = session
    answer(display, address, installed, "Escape")
    assert installed.downloader.exists() and installed.agent_files_left() == AGENT_FILES

    answer(display, address, installed, "Return")
    assert not installed.downloader.exists() and installed.agent_files_left() == []
    logind.terminate()
    assert logind.communicate(timeout=10)[0].splitlines() == ["Reboot True"]

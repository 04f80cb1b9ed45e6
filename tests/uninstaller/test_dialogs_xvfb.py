"""The real uninstaller under Xvfb: its dialogs are clicked as a user would, the shipped
script runs on an installation in temporary folders, and the restart goes to a mocked
logind on a private system bus. Screenshots of the dialogs stay in the build folder."""
import os
import subprocess
import time
from pathlib import Path

import pytest

from private_bus import PrivateSystemBus
from removal_env import AGENT_FILES, Installation

PROGRAM = os.environ["UNINSTALLER_PROGRAM"]
SCREENSHOTS = Path(os.environ["UNINSTALLER_SCREENSHOTS"])
TITLE = "Tidewell Uninstaller"


@pytest.fixture(scope="module")
def display():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp", "-noreset"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as numbers:
        number = numbers.readline().strip()
    assert number, "Xvfb found no free display"
    yield f":{number}"
    server.terminate()
    server.wait(timeout=10)


@pytest.fixture
def bus(tmp_path):
    with PrivateSystemBus(tmp_path / "bus") as private:
        yield private


@pytest.fixture
def installed(tmp_path):
    installation = Installation(tmp_path / "installed")
    yield installation
    installation.release()


def x(display, *args):
    return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": display}, capture_output=True,
                          text=True, timeout=30).stdout


def wait_for_dialog(display, program, previous=None, timeout=30):
    """The id and geometry of the program's shown dialog that is not `previous`."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if program.poll() is not None:
            pytest.fail(f"the uninstaller ended with {program.returncode}: {program.stderr.read()}")
        for window in x(display, "search", "--onlyvisible", "--name", f"^{TITLE}$").split():
            if window != previous:
                fields = dict(line.split("=", 1) for line in x(display, "getwindowgeometry", "--shell", window).split())
                if int(fields.get("WIDTH", 0)) > 1:
                    return window, {k: int(v) for k, v in fields.items() if k in ("X", "Y", "WIDTH", "HEIGHT")}
        time.sleep(0.05)
    program.kill()
    pytest.fail(f"no dialog appeared: {program.communicate()[1]}; windows: "
                f"{x(display, 'search', '--name', '.')}")


def screenshot(display, name):
    """Keeps the screen once two grabs in a row agree, so the dialog is fully drawn."""
    env = {**os.environ, "DISPLAY": display}
    grab = lambda: subprocess.run(["import", "-window", "root", "ppm:-"], env=env, capture_output=True,
                                  check=True, timeout=30).stdout
    last = grab()
    for _ in range(50):
        time.sleep(0.1)
        current = grab()
        if current == last:
            break
        last = current
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    subprocess.run(["convert", "ppm:-", str(SCREENSHOTS / name)], input=last, check=True, timeout=30)


def click_button(display, geometry, index, count):
    """The buttons share the dialog's bottom row evenly, the first on the left."""
    column = geometry["X"] + geometry["WIDTH"] * (2 * index + 1) // (2 * count)
    row = geometry["Y"] + geometry["HEIGHT"] - 15
    x(display, "mousemove", "--sync", str(column), str(row), "click", "1")


def launch(display, bus, installed, **env_changes):
    env = installed.env(bus.env(), pkexec_exit=env_changes.pop("pkexec_exit", None))
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES"):
        env.pop(name, None)
    runtime = installed.home.parent / "runtime"
    runtime.mkdir(mode=0o700, exist_ok=True)
    env.update(DISPLAY=display, LANG="C.UTF-8", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory",
               XDG_RUNTIME_DIR=str(runtime), DBUS_SESSION_BUS_ADDRESS=f"unix:path={runtime}/no-session-bus")
    env.update(env_changes)
    bus.check(env)
    return subprocess.Popen([PROGRAM], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def finish(program):
    _, log = program.communicate(timeout=120)
    assert program.returncode == 0, log
    return log


def test_cancel_leaves_everything(display, bus, installed):
    program = launch(display, bus, installed)
    _, geometry = wait_for_dialog(display, program)
    screenshot(display, "confirm.png")
    click_button(display, geometry, 1, 2)
    log = finish(program)
    assert "-[AppController applicationWillTerminate:]" in log
    assert "runUninstall" not in log
    assert installed.downloader.exists() and installed.agent_files_left() == AGENT_FILES
    assert bus.reboot_calls() == []


def test_restart_removes_and_asks_logind_once(display, bus, installed):
    program = launch(display, bus, installed)
    _, geometry = wait_for_dialog(display, program)
    click_button(display, geometry, 0, 2)
    log = finish(program)
    assert "-[AppController runUninstall]" in log and "Can't run disableRelaunchOnLogin" in log
    assert not installed.downloader.exists() and installed.agent_files_left() == []
    assert installed.calls("systemctl")[0] == "--user disable --now tidewelld.service"
    # Accepted only when the program was still connected when logind asked who it is.
    assert bus.reboot_calls() == ["True"]


def test_refused_rights_show_9_and_no_restart(display, bus, installed):
    installed.make_foreign()
    program = launch(display, bus, installed, pkexec_exit=126, LANGUAGE="de")
    confirm, geometry = wait_for_dialog(display, program)
    screenshot(display, "confirm-de.png")
    click_button(display, geometry, 0, 2)
    _, geometry = wait_for_dialog(display, program, previous=confirm)
    screenshot(display, "error-de.png")
    click_button(display, geometry, 0, 1)
    log = finish(program)
    assert any(line.endswith("] 9") for line in log.splitlines()), log
    assert installed.downloader.exists() and installed.agent_files_left() == AGENT_FILES
    assert bus.reboot_calls() == []

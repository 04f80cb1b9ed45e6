"""The real Fetchwick under Xvfb on a private session bus: what it tells a stand-in notification service, what its window
shows on the accessibility bus, and the packages it takes from a local https server that can stall and fail."""
import os
import plistlib
import signal
import subprocess
import sys
from pathlib import Path

import dbus
import pytest

from desktop import NOTIFICATIONS, Desktop
from tidewell_world import StubServer, wait_until

FETCHWICK = os.environ["FETCHWICK"]
ROUTES = {"/fw/Deck%20Unit.bin": {"body": "firmware package"}, "/stall.bin": {"body": "x" * 4096, "stall_after": 1024},
          "/gone.bin": {"status": 404, "body": "not here"}}
DECK = "Deck Unit 2: firmware 1.24 is available (installed 1.23)"
# libcurl's clocks, and every other, run ten times as fast: the minute of the stall limit passes in six seconds.
FAST_CLOCK = {"LD_PRELOAD": "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1", "FAKETIME": "+0 x10"}


@pytest.fixture(scope="module")
def desktop(tmp_path_factory):
    """A display and a session bus of the tests' own, on which the only service is the accessibility bus; this
    process joins the session, as the reader of that bus needs."""
    os.environ["GSETTINGS_BACKEND"] = "memory"
    session = Desktop(tmp_path_factory.mktemp("desktop"), {"org.a11y.Bus": "/usr/libexec/at-spi-bus-launcher"})
    os.environ.update(session.env)
    yield session
    session.close()


@pytest.fixture(scope="module")
def reader(desktop):
    sys.path.insert(0, str(Path(__file__).parents[1] / "support"))
    import atspi_reader
    return atspi_reader


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    stub = StubServer(tmp_path_factory.mktemp("packages"), ROUTES, tls="ca")
    yield stub
    stub.close()


@pytest.fixture
def notifications(desktop):
    """The stand-in notification service, which records every call."""
    service = desktop.notification_service()
    yield service
    service.close()


class User:
    """A HOME whose XDG download folder is ~/Incoming; Fetchwick started there with a hand-off file."""

    def __init__(self, home, server):
        self.home, self.server, self.started = home, server, []
        self.downloads = home / "Incoming"
        (home / ".config").mkdir(parents=True)
        (home / ".config/user-dirs.dirs").write_text('XDG_DOWNLOAD_DIR="$HOME/Incoming"\n')
        # Neither the caller's proxies nor its folders: the packages come from 127.0.0.1, and go below home.
        self.env = {key: value for key, value in os.environ.items()
                    if not key.lower().endswith("_proxy") and key != "XDG_CONFIG_HOME"}
        self.env.update(HOME=str(home), CURL_CA_BUNDLE=server.ca_file)

    def launch(self, mode, rows, command=(), **env):
        """Fetchwick with mode and a hand-off file of rows, each formatted with base, the server's address."""
        hand_off = self.home / f"hand-off-{len(self.started)}.txt"
        hand_off.write_text("".join(row.format(base=self.server.url("")) + "\n" for row in rows))
        with open(self.home / "stderr.log", "a") as errors:
            self.started.append(subprocess.Popen([*command, FETCHWICK, mode, hand_off], env={**self.env, **env},
                                                 stdout=subprocess.DEVNULL, stderr=errors))
        return self.started[-1]

    def stderr(self):
        return (self.home / "stderr.log").read_text()

    def stop(self, process):
        """SIGTERM, as a session's end sends it; its exit status."""
        process.send_signal(signal.SIGTERM)
        return process.wait(timeout=30)

    def preferences(self):
        return self.home / ".config/Quenlar/com.quenlar.Fetchwick.plist"


@pytest.fixture
def user(tmp_path, reader, server):
    person = User(tmp_path / "home", server)
    yield person
    for process in person.started:
        if process.poll() is None:
            person.stop(process)


@pytest.mark.parametrize("mode, rows, body, skipped", [
    ("-f ", ["Deck Unit 2,1.23,1.24,{base}/a.bin", "Deck Unit 2 1.23 1.24", "Mixer,1.00,1.02,http://127.0.0.1:9/m.bin",
             "A,B,1.05,1.10,{base}/ab.bin"],
     f"{DECK}\nA,B: firmware 1.10 is available (installed 1.05)",
     ["hand-off row 2 skipped: not well-formed", "row 3 skipped: its address is no https URL: http://127.0.0.1:9/m.bin"]),
    ("-m ", ["Tidewell,1.0.0,1.02,{base}/t.pkg"], "Tidewell 1.02 is available", []),
])
def test_one_notification_names_each_update(user, notifications, mode, rows, body, skipped):
    fetchwick = user.launch(mode, rows)
    assert wait_until(notifications.notified, timeout=30) == [("Updates available", body)]
    assert user.stop(fetchwick) == 0
    assert all(line in user.stderr() for line in skipped), user.stderr()


def test_a_second_launch_hands_its_rows_to_the_first(user, notifications, reader):
    first = user.launch("-f ", ["Deck Unit 2,1.23,1.24,{base}/a.bin"])
    assert wait_until(notifications.notified, timeout=30)
    assert user.launch("-m ", ["Tidewell,1.0.0,1.02,{base}/t.pkg"]).wait(timeout=30) == 0
    calls = notifications.mock.GetMethodCalls("Notify")
    assert [(int(args[1]), str(args[4])) for _, args in calls] == [
        (0, DECK), (1, f"{DECK}\nTidewell 1.02 is available")], "one notification, replaced"
    notifications.mock.EmitSignal(NOTIFICATIONS, "ActionInvoked", "us", [dbus.UInt32(1), "default"])
    window = reader.application("Fetchwick")
    assert wait_until(lambda: {DECK, "Tidewell 1.02 is available"} <= set(reader.texts(window)), timeout=30)
    assert notifications.mock.GetMethodCalls("CloseNotification")
    assert user.stop(first) == 0


# `path` on the server, or an address; the window's words after the download, and what the download folder holds then.
@pytest.mark.parametrize("path, env, cancel, outcome, folder", [
    ("/fw/Deck%20Unit.bin", {}, False, "Saved as {downloads}/Deck Unit (2).bin. Fetchwick does not open it: the device "
     "vendor's tool installs it.", {"Deck Unit.bin": "earlier", "Deck Unit (2).bin": "firmware package"}),
    ("/stall.bin", FAST_CLOCK, False, "Download failed: Operation too slow. Less than 1 bytes/sec transferred the last 60",
     {"Deck Unit.bin": "earlier"}),
    ("/stall.bin", {}, True, "Download cancelled; nothing was saved.", {"Deck Unit.bin": "earlier"}),
    ("/gone.bin", {}, False, "Download failed: The requested URL returned error: 404.", {"Deck Unit.bin": "earlier"}),
    ("https://127.0.0.1:9/fw.bin", {}, False, "Download failed: Failed to connect to 127.0.0.1 port 9",
     {"Deck Unit.bin": "earlier"}),
])
def test_a_download_lands_whole_in_the_download_folder_or_not_at_all(user, reader, path, env, cancel, outcome, folder):
    user.downloads.mkdir()
    (user.downloads / "Deck Unit.bin").write_text("earlier")
    address = path if path.startswith("https:") else "{base}" + path
    fetchwick = user.launch("-f ", [f"Deck Unit 2,1.23,1.24,{address}"], **env)
    row = wait_until(lambda: reader.find(reader.application("Fetchwick"), "filler", DECK), timeout=30)
    asked = len(user.server.requests(path))
    reader.click(reader.find(row, "push button", "Download"))
    if cancel:
        assert wait_until(lambda: len(user.server.requests(path)) > asked, timeout=30)
        reader.click(wait_until(lambda: reader.find(row, "push button", "Cancel")))
    outcome = outcome.format(downloads=user.downloads)
    assert wait_until(lambda: any(text.startswith(outcome) for text in reader.texts(row)), timeout=30), \
        reader.texts(row)
    assert {file.name: file.read_text() for file in user.downloads.iterdir()} == folder
    assert bool(reader.find(row, "push button", "Open folder")) == (len(folder) == 2)
    assert user.stop(fetchwick) == 0


def test_the_interval_setting_keeps_every_other_key(user, reader):
    user.preferences().parent.mkdir(parents=True)
    kept = {"lastCheckDate": "2026-01-02 03:04:05", "dateConnected": "2026/01/02 03:04:05"}
    user.preferences().write_bytes(plistlib.dumps({**kept, "FwInterval": 3}, fmt=plistlib.FMT_BINARY))
    fetchwick = user.launch("-f ", ["Deck Unit 2,1.23,1.24,{base}/a.bin"])
    spin = wait_until(lambda: reader.find(reader.application("Fetchwick"), "spin button"), timeout=30)
    assert spin.get_current_value() == 3
    spin.set_current_value(14)
    assert wait_until(lambda: plistlib.loads(user.preferences().read_bytes()) == {**kept, "FwInterval": 14})
    assert user.preferences().stat().st_mode & 0o777 == 0o600
    assert user.stop(fetchwick) == 0


@pytest.mark.parametrize("arguments, rows, env, status, said", [
    (["-f"], None, {}, 2, "usage: Fetchwick"),
    (["-f ", "a", "b"], None, {}, 2, "usage: Fetchwick"),
    ([], ["Deck Unit 2,1.23,1.24,{base}/a.bin"], {"DISPLAY": ""}, 3, "no display"),
    (["unshare", "--net"], ["Deck Unit 2,1.23,1.24,{base}/a.bin"], {}, 4, "no network"),
    ([], ["Deck Unit 2,1.23,1.24,http://127.0.0.1:9/a.bin"], {}, 1, "no update to offer"),
])
def test_exit_status(user, arguments, rows, env, status, said):
    if rows is None:
        run = subprocess.run([FETCHWICK, *arguments], env=user.env, capture_output=True, text=True, timeout=30)
        assert (run.returncode, said in run.stderr) == (status, True), run.stderr
    else:
        assert user.launch("-f ", rows, arguments, **env).wait(timeout=30) == status
        assert said in user.stderr()

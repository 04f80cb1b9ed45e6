"""The whole road end to end: the demo a newcomer runs first, then the agent at two edges
of the usage path (a device unplugged while the watch reports it, the wall clock set
back an hour)."""
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from datetime import datetime, timedelta, timezone
from pathlib import Path

from tidewell_e2e import (FIRMWARE_LIST_PATH, PYTHON, TARGET_LIST_PATH, Agent, StubServer, make_certs,
                          start_application, wait_until)
from usbbed import UsbTestbed

DEMO = Path(os.environ["TIDEWELL_SOURCE_DIR"]) / "scripts" / "demo.py"
sys.path.insert(0, str(DEMO.parent))
from demo import DECK, DJ_APPLICATION, GATE_REPLY  # noqa: E402

FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"


def session_members(session):
    """Processes still in the session, from /proc/<pid>/stat (the session is field 6)."""
    members = []
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[3]) == session:
            members.append(stat.parent.name)
    return members


def test_demo_shows_both_paths_within_a_minute_and_leaves_nothing_behind(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    # Short: the emulated bus keeps its sockets in a folder here.
    temp = Path(tempfile.mkdtemp(prefix="tw"))
    started = time.monotonic()
    demo = subprocess.Popen([PYTHON, str(DEMO), os.environ["TIDEWELLD"]], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, start_new_session=True,
                            env=dict(os.environ, HOME=str(home), TMPDIR=str(temp)))
    try:
        output, _ = demo.communicate(timeout=90)
        left_in_temp = wait_until(lambda: not session_members(demo.pid), timeout=5) and list(temp.iterdir())
    finally:
        if demo.poll() is None:
            os.killpg(demo.pid, signal.SIGKILL)
            demo.wait()
        shutil.rmtree(temp, ignore_errors=True)
    assert demo.returncode == 0, output
    assert time.monotonic() - started < 60

    for shown in (f"GET {FIRMWARE_LIST_PATH}\n",
                  f"GET {TARGET_LIST_PATH}\n",
                  "      Product Name     = Deck Unit 2\n",
                  "      | Deck Unit 2,1.23,1.24,https://",
                  "/Fetchwick' '-f ' '~/Library/Application Support/Quenlar/firm_version_up.txt'\n",
                  f"        p02        = {DJ_APPLICATION}\n",
                  "    exit status 0\n",
                  f"[INF] {DJ_APPLICATION} start time = "):
        assert shown in output
    # The mixer is on the target list: scanned, then left out.
    devices = output.split("its device list", 1)[1].split("\n[", 1)[0]
    assert "Mixer" not in devices

    assert left_in_temp == []
    assert list(home.iterdir()) == []


def make_certs_valid_since(folder, offset):
    """The stub server's certificates, made with the clock at offset ("-2h"), so that a
    clock set back still finds them valid."""
    folder.mkdir(parents=True)
    make_certs(folder, env=dict(os.environ, LD_PRELOAD=FAKETIME, FAKETIME=offset))


class UsageRoad:
    """An analytics stand-in, an emulated bus with a Deck Unit 2, and the agent between
    them; what is started is stopped when the test's stack unwinds."""

    def __init__(self, stack, folder, gate_delay=0):
        self.stack = stack
        self.folder = folder
        self.server = StubServer(folder / "analytics", {"/appchk.php": {"body": GATE_REPLY, "delay": gate_delay},
                                                        "/dot.php": {"body": "ok"}}, tls="ca")
        stack.callback(self.server.close)
        self.bed = stack.enter_context(UsbTestbed())
        self.deck = self.bed.add_device(**DECK)

    def start_agent(self, **env):
        env = dict(self.bed.env(), CURL_CA_BUNDLE=self.server.ca_file,
                   TIDEWELL_ANALYTICS_HOST=f"127.0.0.1:{self.server.port}", **env)
        agent = Agent(self.folder / "home", env=env).start()
        self.stack.callback(agent.kill)
        return agent

    def start_application(self):
        application = start_application(self.folder / "apps", DJ_APPLICATION)
        self.stack.callback(application.wait)
        self.stack.callback(application.kill)


def test_device_unplugged_while_the_watch_reports_it(tmp_path):
    with contextlib.ExitStack() as stack:
        # The gate answers slowly: the watch at tick 11 is still busy when the device goes.
        road = UsageRoad(stack, tmp_path, gate_delay=3)
        road.start_application()
        agent = road.start_agent()
        assert wait_until(lambda: road.server.requests("/appchk.php"), timeout=40)
        road.bed.remove_device(road.deck)
        assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=0")
        assert road.server.requests("/dot.php") == []

        # The watch works on its own copy of the device list: its report still names the
        # device that has gone.
        sent = wait_until(lambda: road.server.requests("/dot.php"), timeout=15)
        assert sent and "&p01=Deck%20Unit%202%2F1.23%2FDU2-0042&" in sent[0]["query"]
        assert agent.stop() == 0
    assert road.bed.errors() == []


def test_clock_set_back_an_hour_while_the_agent_runs(tmp_path):
    clock = tmp_path / "clock"
    clock.write_text("+0\n")
    make_certs_valid_since(tmp_path / "analytics", "-2h")
    with contextlib.ExitStack() as stack:
        road = UsageRoad(stack, tmp_path)
        # libfaketime reads the offset from the file at every call; the monotonic clock
        # stays true, as it does when a real wall clock is set. Its stat() would deadlock
        # with umockdev's fopen() while it reads that file.
        agent = road.start_agent(LD_PRELOAD=f"{os.environ['LD_PRELOAD']} {FAKETIME}",
                                 FAKETIME_TIMESTAMP_FILE=str(clock), FAKETIME_NO_CACHE="1",
                                 FAKETIME_DONT_FAKE_MONOTONIC="1", NO_FAKE_STAT="1")
        assert agent.wait_log("CollectVariousList Result")
        (tmp_path / "clock.new").write_text("-3600\n")
        (tmp_path / "clock.new").rename(clock)
        road.start_application()

        # The ticks go on: the watch finds the application and reports it.
        assert wait_until(lambda: road.server.requests("/dot.php"), timeout=30)
        reported = agent.log().split(f"{DJ_APPLICATION} start time = ")[1].split("\n")[0]
        behind = datetime.now(timezone.utc) - datetime.strptime(reported, "%Y/%m/%d-%H:%M:%S(%z)")
        assert timedelta(minutes=59) < behind < timedelta(minutes=61)
        # An earlier clock makes no download due.
        assert agent.log().count("CollectVariousList Result") == 1
        assert agent.stop() == 0
    assert road.bed.errors() == []

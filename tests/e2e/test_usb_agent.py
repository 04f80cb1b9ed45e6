"""The real tidewelld on libusb and an emulated bus: what only the kernel's side shows (bus and
port order, the sysfs fallback, uevents), and its process frame: signals, stderr, arguments, one agent per user."""
import fcntl
import os
import re
import signal
import subprocess
import threading
import time
from pathlib import Path

import pytest

from tidewell_world import Agent, wait_until
from usbbed import NO_ANSWER, STALL, UsbTestbed, string_descriptor

LONG = "".join(chr(0x41 + k % 26) for k in range(70))
# Added out of order; the scan goes by bus, then port.
SCANNED = [
    dict(serial="C", busnum=2, port=1, product="Stalled", replies={2: STALL}),
    dict(serial="B", busnum=1, port=3, product=LONG),
    dict(serial="A", busnum=1, port=1, product="Short", replies={2: b"\x06\x03"}),
    # Not openable: the kernel's strings by the same low-byte rule, each byte of ill-formed UTF-8 a unit of its own.
    dict(serial="D", busnum=1, port=2, openable=False, product="Deck \u00e9\u8272\U0001F3B5".encode()
         + b"\xed\xa0\x80\xe3\x81Z\xc0\xaf\xf4\x90\x80\x80" + b"x" * 50),
]
SYSFS_PRODUCT = "Deck \xe9\x72\x3c\xb5\xed\xa0\x80\xe3\x81Z\xc0\xaf\xf4\x90\x80\x80" + "x" * 42  # 63 units


class HeldReply(bytes):
    """A string reply that holds the agent's scan inside its first control request until released."""

    def __getitem__(self, key):
        if not self.asked.is_set():
            self.asked.set()
            self.release.wait(30)
        return super().__getitem__(key)


def test_start_up_scan_an_event_during_it_a_burst_and_signals(tmp_path):
    held = HeldReply(string_descriptor("Quenlar"))
    held.asked, held.release = threading.Event(), threading.Event()
    with UsbTestbed() as bed:
        units = [bed.add_device(product_id=0x3000 + n, manufacturer="Quenlar", **device)
                 for n, device in enumerate(SCANNED)]
        units[1].replies[1] = held
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert held.asked.wait(30)
            # Plugged in while the first scan has the bus list in hand; its one uevent is never sent again.
            bed.add_device(0x2000, product="Mixer", manufacturer="Quenlar", serial="M1", busnum=2, port=2)
            held.release.set()
            assert agent.wait_stderr("main Device Count prev=0 cur=4")
            assert agent.wait_stderr("onDeviceChange Device Count prev=4 cur=5")
            assert f" tidewelld[{agent.process.pid}] App Run\n" in agent.stderr()

            # A burst of uevents, the last unplugging a unit so that its rescan ends the burst. It
            # stays under the ten datagrams a local socket queues: the emulated bus aborts the
            # test past that while the agent's readers are slow, as under ThreadSanitizer.
            before = agent.stderr().count("onDeviceChange Device Count")
            for _ in range(8):
                bed.uevent(units[0])
                time.sleep(0.005)
            bed.remove_device(units[0])
            assert agent.wait_stderr("onDeviceChange Device Count prev=5 cur=4")
            assert agent.stderr().count("onDeviceChange Device Count") - before <= 2

            # SIGHUP and SIGINT are logged and ignored: the ticks go on.
            for number in (signal.SIGHUP, signal.SIGINT):
                agent.process.send_signal(number)
                assert agent.wait_stderr(f"Receive sinal {int(number)}")
            assert agent.wait_log("CollectVariousList Result")
            assert agent.stop() == 0
        finally:
            held.release.set()
            agent.kill()
        # The first scan's list of every unit, logged with serials before duplicates are removed.
        listed = agent.log().split("before process.\n", 1)[1].split("after process.")[0].splitlines()
        assert [line.split("= ", 1)[1] for line in listed if "Serial Number" in line] == ["A", "D", "B", "C"]
        assert [line.split("= ", 1)[1] for line in listed if "Product Name" in line] == [
            "(null)", SYSFS_PRODUCT, LONG[:63], "(null)"]
        assert bed.errors() == []


@pytest.mark.parametrize("rescans", [1, 2])  # stopped in the start-up scan, or in a device change's rescan
def test_devices_that_never_answer_cost_one_time_out_per_rescan_and_never_hold_the_stop(tmp_path, rescans):
    with UsbTestbed() as bed:
        units = [bed.add_device(0x3100 + n, product="Deck", manufacturer="Quenlar", serial=f"M{n}",
                                replies=dict.fromkeys((1, 2, 3), NO_ANSWER)) for n in range(3)]
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            if rescans == 2:
                # Both lists of a rescan: one time-out per device, no request for its other strings.
                assert agent.wait_stderr("main Device Count prev=0 cur=3")
                assert [len(unit.requests) for unit in units] == [1, 1, 1]
                bed.uevent(units[0])
            assert wait_until(lambda: len(units[0].requests) == rescans)
            stopped = time.monotonic()
            assert agent.stop() == 0
            assert time.monotonic() - stopped < 2
            # No device was asked once the stop came.
            assert [len(unit.requests) for unit in units] == [rescans, rescans - 1, rescans - 1]
        finally:
            agent.kill()
        assert bed.errors() == []


def test_one_agent_per_user_options_that_start_nothing_and_a_closed_standard_error(tmp_path):
    cache = (Path(os.environ["TIDEWELL_BUILD_DIR"]) / "CMakeCache.txt").read_text()
    agent = Agent(tmp_path / "home", env={"DO_NOT_TRACK": "1"})
    run = lambda *arguments: subprocess.run([os.environ["TIDEWELLD"], *arguments], env=agent.environment,
                                            capture_output=True, text=True, timeout=10)
    files = lambda: {path: path.stat().st_mtime_ns for path in agent.home.rglob("*") if path.name != "stderr.log"}
    version = re.search(r"CMAKE_PROJECT_VERSION:STATIC=(.*)", cache)[1]
    usage = "Usage: tidewelld [--version | --help]\n"
    before = files()
    for arguments, status, stdout, stderr in [
            (["--version", "--help"], 0, f"tidewelld {version}\n", ""),
            (["--help"], 0, usage, ""),
            (["--verbose"], 2, "", usage),
            (["x"], 2, "", usage),
            (["--version", "x"], 2, "", usage)]:
        shown = run(*arguments)
        # Of the help, its usage line.
        shown.stdout = "".join(shown.stdout.splitlines(keepends=True)[:1]) if status == 0 else shown.stdout
        assert (shown.returncode, shown.stdout, shown.stderr) == (status, stdout, stderr), arguments
        assert files() == before, arguments

    reader, writer = os.pipe()
    os.close(reader)
    agent.start(stderr=os.fdopen(writer, "wb"))
    try:
        # The first tick's lines come after several system-log lines that found no reader.
        assert agent.wait_log("CollectVariousList Result") and "DO_NOT_TRACK is set: no usage reports" in agent.log()
        before, second = files(), run()
        assert (second.returncode, second.stdout, files()) == (0, "", before)
        assert re.fullmatch(rf".* Another agent runs for this user: pid {agent.process.pid}\n", second.stderr)
        agent.kill()  # SIGKILL: the kernel lets go of the lock all the same
        assert agent.start().wait_stderr("App Run") and agent.stop() == 0
        # Another user's lock file is no agent's: the agent runs, and says that the guard is off.
        lock = agent.support_folder / "tidewelld.lock"
        os.chown(lock, 65534, 65534)
        with open(lock) as held:
            fcntl.flock(held, fcntl.LOCK_EX)
            assert agent.start().wait_stderr("App Run") and agent.stop() == 0
        assert re.search(r"tidewelld.lock: belongs to uid 65534, .*\n.*the single-instance guard is off\n", agent.stderr())
        assert "Another agent" not in agent.stderr()
    finally:
        agent.kill()

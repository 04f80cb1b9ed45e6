"""What the benchmark reads of a running tidewelld: a temporary HOME with current lists,
the moment start-up ends, CPU time and resident memory from /proc, and the time-stamped
lines of its system log (standard error)."""
import os
import platform
import re
import signal
import subprocess
import time
from collections import deque
from pathlib import Path

# The agent's signal loop waits in rt_sigtimedwait: once its main thread sits there,
# start-up is over.
SIGTIMEDWAIT = {"x86_64": 128, "aarch64": 137}

# Nothing listens on the discard port of the loopback: no request leaves the machine.
CLOSED_LOCAL = "127.0.0.1:9"

STAMPED = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.(\d{3}) \S+ (.*)$")


def plain_env():
    """This environment without the umockdev preload: the agent on the machine itself."""
    return {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}


def make_home(folder):
    """A HOME whose lists are current (no download at the first tick) and whose list and
    analytics addresses are closed local ports; returns the environment entries."""
    home = Path(folder) / "home"
    lists = home / "Library" / "Quenlar"
    lists.mkdir(parents=True)
    (lists / "firm_version_info.txt").write_text("FormatVersion:091\r\n")
    (lists / "tar_product_info.txt").write_text("FormatVersion:091\n")
    for name, list_name in (("FwUpInfoURL.txt", "firm_version_info.txt"), ("TarProductURL.txt", "tar_product_info.txt")):
        (lists / name).write_text(f"http://{CLOSED_LOCAL}/application/tidewell/{list_name}\n")
    applications = Path(folder) / "Applications"
    applications.mkdir()
    return {"HOME": str(home), "TIDEWELL_ANALYTICS_HOST": CLOSED_LOCAL,
                  "TIDEWELL_APPLICATIONS_DIR": str(applications)}


class Agent:
    """tidewelld started at `started` (monotonic seconds), standard error to a file."""

    def __init__(self, binary, folder, env):
        self.stderr_path = Path(folder) / "stderr.log"
        with open(self.stderr_path, "wb") as stderr:
            self.started = time.monotonic()
            self.process = subprocess.Popen([binary], env=env, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=stderr)
        self._offset = 0
        self._pending = b""
        self._unread = deque()

    @property
    def pid(self):
        return self.process.pid

    def wait_started(self, timeout=30.0):
        """Monotonic time at which start-up was seen to be over (polled every 0.2 ms)."""
        number = str(SIGTIMEDWAIT[platform.machine()])
        path = f"/proc/{self.pid}/syscall"
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"tidewelld ended during start-up: {self.process.returncode}")
            with open(path) as syscall:
                if syscall.read().split(" ", 1)[0] == number:
                    return time.monotonic()
            time.sleep(0.0002)
        raise RuntimeError("tidewelld did not finish its start-up")

    def cpu_ms(self):
        """CPU time of all its threads so far, in milliseconds."""
        total = 0
        for task in os.listdir(f"/proc/{self.pid}/task"):
            with open(f"/proc/{self.pid}/task/{task}/schedstat") as schedstat:
                total += int(schedstat.read().split()[0])
        return total / 1e6

    def memory_kb(self):
        """VmHWM (peak resident), RssAnon (private) and RssFile (mapped files) in kB."""
        values = {}
        with open(f"/proc/{self.pid}/status") as status:
            for line in status:
                key, _, rest = line.partition(":")
                if key in ("VmHWM", "RssAnon", "RssFile"):
                    values[key] = int(rest.split()[0])
        return values

    def _read_lines(self):
        """Appends the system-log lines written since the last read to the unread ones."""
        with open(self.stderr_path, "rb") as stderr:
            stderr.seek(self._offset)
            data = stderr.read()
        self._offset += len(data)
        *complete, self._pending = (self._pending + data).split(b"\n")
        self._unread.extend(complete)

    def wait_line(self, predicate, timeout=60.0):
        """(epoch seconds, message) of the next line whose message satisfies predicate; the
        lines before it are passed over. None on time-out. Only that line's stamp is parsed:
        the handlers of an emulated bus in this process wait while it holds the GIL."""
        deadline = time.monotonic() + timeout
        while True:
            while self._unread:
                match = STAMPED.match(self._unread.popleft().decode(errors="replace"))
                if match and predicate(match[3]):
                    seconds = time.mktime(time.strptime(match[1], "%Y-%m-%d %H:%M:%S"))
                    return seconds + int(match[2]) / 1000, match[3]
            if time.monotonic() >= deadline:
                return None
            time.sleep(0.002)
            self._read_lines()

    def expect_line(self, text, timeout=60.0):
        """The stamp of the next line that is exactly text; an error on time-out."""
        found = self.wait_line(lambda message: message == text, timeout)
        if found is None:
            raise RuntimeError(f"tidewelld did not log {text!r}")
        return found[0]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

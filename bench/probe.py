"""What the benchmark reads of a running tidewelld: a temporary HOME with current lists,
the moment start-up ends, CPU time and resident memory from /proc, and the time-stamped
lines of its system log (standard error)."""
import os
import platform
import re
import time
from collections import deque
from pathlib import Path

# run_bench.py puts demo/ on the module path.
import tidewell_world

# The agent's signal loop waits in rt_sigtimedwait: once its main thread sits there,
# start-up is over.
SIGTIMEDWAIT = {"x86_64": 128, "aarch64": 137}

STAMPED = re.compile(r"^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.(\d{3}) \S+ (.*)$")


def plain_env():
    """This environment without the umockdev preload: the agent on the machine itself."""
    return {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}


class Agent(tidewell_world.Agent):
    """The demo's agent with HOME under folder, whose lists are current (no
    download at the first tick); started at `started` (monotonic seconds). Without the
    umockdev preload unless env brings it: the agent on the machine itself."""

    def __init__(self, folder, env=None):
        applications = Path(folder) / "Applications"
        applications.mkdir()
        env = {"TIDEWELL_APPLICATIONS_DIR": str(applications), **(env or {})}
        super().__init__(Path(folder) / "home", env=env)
        (self.list_folder / "firm_version_info.txt").write_text("FormatVersion:091\r\n")
        (self.list_folder / "tar_product_info.txt").write_text("FormatVersion:091\n")
        self._offset = 0
        self._pending = b""
        self._unread = deque()

    def start(self):
        self.started = time.monotonic()
        return super().start()

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
        """VmHWM (peak resident), RssAnon (private: heap, stacks, written library data) and
        RssFile (mapped files, shared with other processes) in kB."""
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

    def close(self):
        """SIGTERM; killed if it has not ended within 10 s."""
        try:
            self.stop()
        finally:
            self.kill()

"""The world the demo and the end-to-end tests put the real tidewelld in: a temporary
HOME, the local stub server with a CA of its own, a stand-in downloader that records how
it was started, a stand-in DJ application."""
import json
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
PYTHON = "/usr/bin/python3"

# Where the list server keeps the two lists.
LIST_PATH = "/application/tidewell/"
FIRMWARE_LIST_PATH = LIST_PATH + "firm_version_info.txt"
TARGET_LIST_PATH = LIST_PATH + "tar_product_info.txt"


def wait_until(predicate, timeout=10.0, step=0.05):
    """Polls predicate until it returns something true; returns that, or None on time-out."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(step)


def read_json_lines(path):
    """The values of a file of one JSON value per line; none while the file is missing."""
    path = Path(path)
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines() if line]


def make_certs(folder):
    """A test CA (ca.pem) with server.pem/server.key for 127.0.0.1, and self.pem/self.key: the build
    folder's set under the test suite ($TIDEWELL_TEST_CERTS), otherwise new ones."""
    shared = os.environ.get("TIDEWELL_TEST_CERTS")
    if not shared:
        subprocess.run(["/bin/sh", str(HERE / "make_certs.sh"), str(folder)], check=True)
        return
    for name in ("ca.pem", "server.pem", "server.key", "self.pem", "self.key"):
        shutil.copy(Path(shared) / name, Path(folder) / name)


def list_routes(firmware, target):
    """Stub server routes of the firmware list and the target list, in the agent's order."""
    return {FIRMWARE_LIST_PATH: firmware, TARGET_LIST_PATH: target}


class StubServer:
    """stub_server.py on 127.0.0.1; tls is None, "ca" (signed by folder/ca.pem) or "self"."""

    def __init__(self, folder, routes, tls=None):
        self.folder = Path(folder)
        self.folder.mkdir(parents=True, exist_ok=True)
        self.tls = tls
        self.set_routes(routes)
        args = [PYTHON, str(HERE / "stub_server.py"), "--routes", str(self.folder / "routes.json"),
                "--log", str(self.folder / "requests.log"), "--port-file", str(self.folder / "port")]
        if tls:
            if not (self.folder / "ca.pem").exists():
                make_certs(self.folder)
            name = "server" if tls == "ca" else "self"
            args += ["--cert", str(self.folder / f"{name}.pem"), "--key", str(self.folder / f"{name}.key")]
        self.process = subprocess.Popen(args)
        port_file = self.folder / "port"
        if not wait_until(port_file.exists, timeout=15):
            self.close()
            raise RuntimeError("stub server did not start")
        self.port = int(port_file.read_text())

    @property
    def ca_file(self):
        return str(self.folder / "ca.pem")

    def url(self, path):
        scheme = "https" if self.tls else "http"
        return f"{scheme}://127.0.0.1:{self.port}{path}"

    def set_routes(self, routes):
        temp = self.folder / "routes.json.tmp"
        temp.write_text(json.dumps(routes))
        temp.rename(self.folder / "routes.json")

    def requests(self, path=None):
        """The requests logged so far, in order; with path, only those to it."""
        logged = read_json_lines(self.folder / "requests.log")
        return [request for request in logged if path is None or request["path"] == path]

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)


def install_fake_fetchwick(applications, version="1.00"):
    """A stand-in downloader under applications/Quenlar/Tidewell/Fetchwick.app that appends
    one JSON line per start to the file it returns: its arguments, and the descriptors it
    inherited (number: target)."""
    bundle = Path(applications) / "Quenlar" / "Tidewell" / "Fetchwick.app" / "Contents"
    (bundle / "MacOS").mkdir(parents=True, exist_ok=True)
    record = Path(applications) / "fetchwick-launches.jsonl"
    executable = bundle / "MacOS" / "Fetchwick"
    executable.write_text(
        f"#!{PYTHON}\nimport json, os, sys\n"
        "fds = {}\n"
        "for fd in os.listdir('/proc/self/fd'):\n"
        "    try:\n"
        "        fds[fd] = os.readlink('/proc/self/fd/' + fd)\n"
        "    except OSError:\n"
        "        pass  # the listing's own descriptor, closed again by now\n"
        f"with open({str(record)!r}, 'a') as f:\n"
        "    f.write(json.dumps({'args': sys.argv[1:], 'fds': fds}) + '\\n')\n")
    executable.chmod(0o755)
    (bundle / "info.plist").write_text(
        '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
        f"<key>CFBundleVersion</key><string>{version}</string></dict></plist>\n")
    return record


def launches(record):
    """The arguments of each start the stand-in downloader recorded."""
    return [start["args"] for start in read_json_lines(record)]


def start_application(folder, name):
    """A copy of cat at <folder>/<name>.app/Contents/MacOS/<name>, run without arguments
    (the watch may want the executable's name at the end of the process line)."""
    executable = Path(folder) / f"{name}.app" / "Contents" / "MacOS" / name
    executable.parent.mkdir(parents=True)
    shutil.copy("/bin/cat", executable)
    return subprocess.Popen([str(executable)], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)


# Nothing listens on the discard port of the loopback: an agent given no server of its
# own still never sends anything off this machine.
CLOSED_LOCAL = "127.0.0.1:9"

# All the agent takes from the caller's environment: where programs are, and the
# sanitizers' options. Anything else of the caller's shell would change what it does
# unseen: DO_NOT_TRACK stops the usage reports, a proxy variable sends every transfer
# elsewhere, the caller's XDG folders hold the caller's own files.
INHERITED = ("PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS", "LSAN_OPTIONS")


def agent_environment(home, env=None):
    """The agent's whole environment: the inherited variables, a fixed locale, HOME and
    the XDG folders in `home`, a closed analytics host, then `env`."""
    home = Path(home)
    environment = {key: os.environ[key] for key in INHERITED if key in os.environ}
    environment.update(HOME=str(home), LANG="C.UTF-8", TIDEWELL_ANALYTICS_HOST=CLOSED_LOCAL,
                       XDG_CONFIG_HOME=str(home / ".config"), XDG_CACHE_HOME=str(home / ".cache"),
                       XDG_DATA_HOME=str(home / ".local/share"), XDG_STATE_HOME=str(home / ".local/state"))
    environment.update(env or {})
    return environment


def make_private_folder(home, folder):
    """folder below home with its missing parents, each private (0700) as the agent makes them: it uses no folder
    that others may write."""
    for part in [*reversed(folder.relative_to(home).parents), folder.relative_to(home)]:
        (home / part).mkdir(0o700, exist_ok=True)


class Agent:
    """The real tidewelld ($TIDEWELLD) with HOME at `home`, in the environment of
    agent_environment; standard error goes to home/stderr.log. The list URLs (override
    files) name lists_base, the analytics host is a closed local port unless env says
    otherwise."""

    def __init__(self, home, env=None, lists_base=f"https://{CLOSED_LOCAL}"):
        self.home = Path(home)
        self.stderr_path = self.home / "stderr.log"
        self.environment = agent_environment(self.home, env)
        make_private_folder(self.home, self.list_folder)
        (self.list_folder / "FwUpInfoURL.txt").write_text(f"{lists_base}{FIRMWARE_LIST_PATH}\n")
        (self.list_folder / "TarProductURL.txt").write_text(f"{lists_base}{TARGET_LIST_PATH}\n")
        self.process = None

    @property
    def list_folder(self):
        return self.home / ".local/share/Quenlar"

    @property
    def support_folder(self):
        return self.home / ".local/state/Quenlar"

    @property
    def preferences(self):
        return self.home / ".config/Quenlar/com.quenlar.Fetchwick.plist"

    def drive_clock(self):
        """Before start: the agent's time of day stands still but for tick_until, so that its own
        alarm each second finds the same second and does nothing (durations stay real)."""
        self.clock = self.home / "clock"
        self._set_clock(int(time.time()))
        preload = ":".join(filter(None, (self.environment.get("LD_PRELOAD"), os.environ["TIDEWELL_FAKETIME"])))
        self.environment.update(LD_PRELOAD=preload, FAKETIME_TIMESTAMP_FILE=str(self.clock), FAKETIME_FMT="%s",
                                FAKETIME_NO_CACHE="1", DONT_FAKE_MONOTONIC="1", NO_FAKE_STAT="1")

    def _set_clock(self, seconds):
        temp = self.clock.with_suffix(".tmp")
        temp.write_text(str(seconds))
        temp.rename(self.clock)

    def tick_until(self, predicate, timeout=30.0):
        """With drive_clock: one tick at a time until predicate holds, each the clock a second on
        and a SIGALRM once the agent has taken the one before. Returns the last answer."""
        def tick_unless_done():
            done = predicate()
            if not done and not self._alarm_pending():
                self._set_clock(int(self.clock.read_text()) + 1)
                self.process.send_signal(signal.SIGALRM)
            return done
        # Blocked from "App Run" on; before it, a signal would end the agent.
        return self.wait_stderr("App Run", timeout) and wait_until(tick_unless_done, timeout, step=0.01)

    def _alarm_pending(self):
        status = Path(f"/proc/{self.process.pid}/status").read_text()
        return bool(int(status.split("ShdPnd:", 1)[1].split()[0], 16) & 1 << (signal.SIGALRM - 1))

    def start(self, stderr=None):
        """stderr: a file object to take over instead of home/stderr.log."""
        self._stderr = stderr or open(self.stderr_path, "wb")
        self.process = subprocess.Popen([os.environ["TIDEWELLD"]], env=self.environment,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=self._stderr)
        return self

    def stderr(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""

    def log(self):
        path = self.support_folder / "Tidewell.log"
        return path.read_text(errors="replace") if path.is_file() else ""

    def wait_stderr(self, text, timeout=10.0):
        return wait_until(lambda: text in self.stderr(), timeout)

    def wait_log(self, text, timeout=10.0):
        return wait_until(lambda: text in self.log(), timeout)

    def stop(self, timeout=10.0):
        """SIGTERM; returns the exit status. 10 s is what the service manager grants."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            status = self.process.wait(timeout=timeout)
        finally:
            self._stderr.close()
        if status != 0:
            # A sanitizer's report is the reason; pytest shows this output with the failure.
            report = self.stderr().split("\n==================\n", 1)
            print(report[-1][-4000:])
        return status

    def kill(self):
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._stderr.close()

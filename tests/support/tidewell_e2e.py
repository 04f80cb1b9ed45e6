"""Helpers of the end-to-end tests: the real tidewelld in a temporary HOME, the local
stub server, a stand-in downloader that records how it was started, a stand-in DJ
application."""
import json
import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

SUPPORT = Path(__file__).resolve().parent
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
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(step)


def read_json_lines(path):
    """The values of a file of one JSON value per line; none while the file is missing."""
    path = Path(path)
    if not path.exists():
        return []
    return [json.loads(line) for line in path.read_text().splitlines() if line]


def make_certs(folder, env=None):
    """A test CA (ca.pem) with server.pem/server.key for 127.0.0.1, and self.pem/self.key."""
    subprocess.run(["/bin/sh", str(SUPPORT / "make_certs.sh"), str(folder)], check=True, env=env)


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
        args = [PYTHON, str(SUPPORT / "stub_server.py"), "--routes", str(self.folder / "routes.json"),
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
    one JSON line of its arguments per start to the file it returns, and first one of the
    descriptors it was started with (number: target) to that file's name with ".fds"."""
    bundle = Path(applications) / "Quenlar" / "Tidewell" / "Fetchwick.app" / "Contents"
    (bundle / "MacOS").mkdir(parents=True, exist_ok=True)
    record = Path(applications) / "fetchwick-launches.jsonl"
    executable = bundle / "MacOS" / "Fetchwick"
    executable.write_text(
        f"#!{PYTHON}\nimport json, os, sys\n"
        # The listing's own descriptor is closed again by the time its target is read.
        "def target(fd):\n"
        "    try:\n"
        "        return os.readlink('/proc/self/fd/' + fd)\n"
        "    except OSError:\n"
        "        return None\n"
        "fds = {fd: target(fd) for fd in os.listdir('/proc/self/fd')}\n"
        f"with open({str(record.with_suffix('.fds'))!r}, 'a') as f:\n"
        "    f.write(json.dumps({fd: t for fd, t in fds.items() if t is not None}) + '\\n')\n"
        f"with open({str(record)!r}, 'a') as f:\n"
        "    f.write(json.dumps(sys.argv[1:]) + '\\n')\n")
    executable.chmod(0o755)
    if version is not None:
        (bundle / "info.plist").write_text(
            '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
            f"<key>CFBundleVersion</key><string>{version}</string></dict></plist>\n")
    return record


def start_application(folder, name):
    """A copy of cat at <folder>/<name>.app/Contents/MacOS/<name>, run without arguments
    (the watch may want the executable's name at the end of the process line)."""
    executable = folder / f"{name}.app" / "Contents" / "MacOS" / name
    executable.parent.mkdir(parents=True)
    shutil.copy("/bin/cat", executable)
    return subprocess.Popen([str(executable)], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)


# Nothing listens on the discard port of the loopback: a test that sets up no server of
# its own still never sends anything off this machine.
CLOSED_LOCAL = "127.0.0.1:9"


class Agent:
    """The real tidewelld with HOME at `home`; standard error goes to home/stderr.log.

    Unless the test says otherwise, the list URLs (override files) and the analytics host
    point at a closed local port."""

    def __init__(self, home, env=None, lists_base=None):
        self.home = Path(home)
        self.home.mkdir(parents=True, exist_ok=True)
        self.stderr_path = self.home / "stderr.log"
        self.environment = dict(os.environ)
        self.environment["HOME"] = str(self.home)
        self.environment["TIDEWELL_ANALYTICS_HOST"] = CLOSED_LOCAL
        self.environment.update(env or {})
        self.set_list_urls(lists_base or f"http://{CLOSED_LOCAL}")
        self.process = None

    def set_list_urls(self, base):
        """Override files naming base + the two list paths."""
        self.list_folder.mkdir(parents=True, exist_ok=True)
        (self.list_folder / "FwUpInfoURL.txt").write_text(f"{base}{FIRMWARE_LIST_PATH}\n")
        (self.list_folder / "TarProductURL.txt").write_text(f"{base}{TARGET_LIST_PATH}\n")

    @property
    def library(self):
        return self.home / "Library"

    @property
    def log_path(self):
        return self.library / "Application Support" / "Quenlar" / "Tidewell.log"

    @property
    def list_folder(self):
        return self.home / "Library" / "Quenlar"

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
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def wait_stderr(self, text, timeout=10.0):
        return wait_until(lambda: text in self.stderr(), timeout)

    def wait_log(self, text, timeout=10.0):
        return wait_until(lambda: text in self.log(), timeout)

    def signal(self, number):
        self.process.send_signal(number)

    def stop(self, timeout=10.0):
        """SIGTERM; returns the exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            status = self.process.wait(timeout=timeout)
        finally:
            self._stderr.close()
        if status != 0:
            # A sanitizer's report is the reason; pytest shows this output with the failure.
            report = self.stderr().split("\n==================\n", 1)
            print(report[1] if len(report) > 1 else self.stderr()[-4000:])
        return status

    def kill(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.process is not None:
            self._stderr.close()


def plug_in(agent, bed, expected, **device):
    """Adds a device; sends its uevent again until the agent is seen to react (its watcher
    starts just after the first scan and may miss the first event)."""
    added = bed.add_device(**device)
    while not agent.wait_stderr(expected, timeout=1):
        assert agent.process.poll() is None
        bed.uevent(added)
    return added

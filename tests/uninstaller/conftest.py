"""Tidewell installed for every user, as root leaves it, the agent's files in the home of nobody, who uninstalls, in a
tmpfs of this process's own mount namespace: every folder from / down is root's, and the host stays as it is. The
stand-ins for systemctl, pkexec, logind and PackageKit record their calls; root runs exactly what pkexec's is asked
to run, or pkexec answers as Debian's polkit does (PKEXEC_ANSWER), on standard error as there."""
import ctypes
import json
import os
import plistlib
import shutil
import signal
import subprocess
import tempfile
import threading
from pathlib import Path

import pytest

BUNDLE, PROGRAM, HELPER = (Path(os.environ[name]) for name in ("UNINSTALLER_BUNDLE", "UNINSTALLER_PROGRAM",
                                                                "REMOVAL_HELPER"))
STRINGS = plistlib.loads((BUNDLE / "Contents/Resources/en.lproj/Localizable.strings").read_bytes())  # what LANG=C shows
SUPPORT = Path(__file__).parents[1] / "support"
ROOT = Path(os.environ["REMOVAL_TEST_ROOT"])  # the test helper's applications folder is ROOT/Applications
NOBODY, PKEXEC_PATH = 65534, "/usr/sbin:/usr/bin:/sbin:/bin"  # all of the environment that pkexec keeps
AS_NOBODY = ["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"]
# The agent's files in their XDG places and where an earlier install kept them, with a temporary a killed agent left.
AGENT_FOLDERS = {(".local/share/Quenlar", "Library/Quenlar"): (
    "firm_version_info.txt", "tar_product_info.txt", "FwUpInfoURL.txt", "TarProductURL.txt"),
    (".local/state/Quenlar", "Library/Application Support/Quenlar"): (
    "Tidewell.log", "tidewelld.lock", "firm_version_up.txt"),
    (".config/Quenlar", "Library/Preferences"): ("com.quenlar.Fetchwick.plist",)}
AGENT_FILES = [f"{folder}/{name}" for folders, names in AGENT_FOLDERS.items() for folder in folders for name in names] + [
    ".local/state/Quenlar/.Tidewell.log.tidewell-tmp.4321.0", ".config/systemd/user/tidewelld.service"]
OTHER_FILES = ["Library/Quenlar/other-product.txt", "Library/Preferences/com.example.other.plist",
               ".local/share/other-product.txt"]
PKEXEC_ANSWERS = {  # pkexec's status and standard error when it runs nothing
    "refused": (127, "Error executing command as another user: Not authorized\\n\\nThis incident has been reported."),
    "dismissed": (126, "Error executing command as another user: Request dismissed"),
    "no agent": (127, "Error executing command as another user: No authentication agent found."),
}
STAND_INS = {"systemctl": '#!/bin/sh\necho "$*" >> "$STANDIN_LOGS/systemctl.log"\n', "pkexec": """#!/bin/sh
echo "$*" >> "$STANDIN_LOGS/pkexec.log"
[ -e "$1" ] || { echo "Error accessing $1: No such file or directory" >&2; exit 127; }
case $PKEXEC_ANSWER in
""" + "".join(f"{answer!r}) printf '{said}\\n' >&2; exit {status} ;;\n"
          for answer, (status, said) in PKEXEC_ANSWERS.items()) + """esac
printf '%s\\0' $$ "$@" > "$STANDIN_LOGS/to-root"
exit "$(cat "$STANDIN_LOGS/from-root")"
"""}
# A bus that every user may join and where no service starts on demand.
SYSTEM_BUS = """<busconfig><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/>
</policy></busconfig>"""
PACKAGE_ID = "tidewell;1.0.0-1;amd64;installed"
if ctypes.CDLL(None, use_errno=True).unshare(0x00020000) != 0:  # CLONE_NEWNS
    raise OSError(ctypes.get_errno(), "unshare")
subprocess.run(["mount", "--make-rprivate", "/"], check=True)


class Installation:
    def __init__(self):
        self.home, self.applications, tools, self.logs, libexec = map(
            ROOT.joinpath, ("home", "Applications", "bin", "logs", "libexec"))
        self.downloader, self.neighbour = (self.applications / "Quenlar/Tidewell" / name
                                           for name in ("Fetchwick.app", "Tidewell Uninstaller.app"))
        self.program, self.helper = libexec / BUNDLE.name / "Contents/MacOS/uninstaller", libexec / "remove-downloader"
        shutil.copytree(BUNDLE, libexec / BUNDLE.name)
        shutil.copy(PROGRAM, self.program)
        shutil.copy(HELPER, self.helper)
        for path in [self.home / relative for relative in AGENT_FILES + OTHER_FILES] + [
                self.downloader / "Contents/MacOS/Fetchwick", self.neighbour / "Contents/Info.plist"] + [
                tools / name for name in STAND_INS]:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(STAND_INS.get(path.name, "x"))
            path.chmod(0o755)
        self.logs.mkdir()
        os.mkfifo(self.logs / "to-root")
        os.mkfifo(self.logs / "from-root")
        (self.logs / "seat").write_text(str(NOBODY))  # the user at the seat, whom logind lets restart
        for path in [self.home, *self.home.rglob("*"), self.logs, *self.logs.iterdir()]:
            os.chown(path, NOBODY, NOBODY)
        self.env = {**os.environ, "HOME": str(self.home), "TIDEWELL_APPLICATIONS_DIR": str(self.applications),
                    "PATH": f"{tools}:/usr/bin:/bin", "STANDIN_LOGS": str(self.logs),
                    "GSETTINGS_BACKEND": "memory", "XDG_RUNTIME_DIR": str(self.logs),
                    "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.logs}/no-session-bus"}
        self.env.pop("XDG_CONFIG_HOME", None)

    def package(self, answer):
        """Makes the downloader's bundle the installed package's in dpkg's database at ROOT/dpkg; answer is the
        administrator's to PackageKit, which is not there without one."""
        name, version, architecture, _ = PACKAGE_ID.split(";")
        (ROOT / "dpkg/info").mkdir(parents=True)
        (ROOT / "dpkg/status").write_text(f"Package: {name}\nStatus: install ok installed\nMaintainer: x <x@x>\n"
                                          f"Version: {version}\nArchitecture: {architecture}\nDescription: x\n\n")
        (ROOT / f"dpkg/info/{name}.list").write_text("/.\n" + "".join(f"{path}\n" for path in [
            *reversed(self.downloader.parents[:-1]), self.downloader, *self.downloader.rglob("*")]))
        if answer is not None:
            (self.logs / "administrator").write_text(answer)

    def calls(self, stand_in):
        return (log := self.logs / f"{stand_in}.log").exists() and log.read_text().splitlines() or []

    def files(self):
        """Every file and symlink below the home, the applications folder and ROOT/elsewhere, with its owner."""
        return {path: path.lstat().st_uid for top in (self.home, self.applications, ROOT / "elsewhere")
                for folder, folders, names in os.walk(top) for path in [Path(folder, name) for name in names + folders]
                if path.is_symlink() or not path.is_dir()}


def replay_as_root(logs):
    with open(logs / "to-root", "rb") as request:
        pid, *command = request.read().split(b"\0")[:-1] or [None]
    if pid:
        with open(f"/proc/{int(pid)}/fd/1", "wb") as out, open(f"/proc/{int(pid)}/fd/2", "wb") as errors:
            status = subprocess.run(command, stdout=out, stderr=errors, env={"PATH": PKEXEC_PATH}).returncode
        (logs / "from-root").write_text(str(status))


def uninstall(installed, session, button, sigchld=signal.SIG_DFL, **env):
    """Runs the uninstaller as nobody, root behind the stand-in pkexec, and answers through the accessibility bus, as
    nobody too: its first dialog with button, any later one with "Finish". Returns its log and what each dialog showed.
    sigchld is the disposition of SIGCHLD that the program inherits."""
    replay = threading.Thread(target=replay_as_root, args=(installed.logs,), daemon=True)
    replay.start()
    started = []
    try:
        started.append(services := subprocess.Popen(
            ["/usr/bin/python3", Path(__file__).with_name("strict_services.py"), installed.logs, ROOT / "dpkg"],
            stdout=subprocess.PIPE, text=True, env={**os.environ, **session}))
        assert services.stdout.readline() == "ready\n"
        with open(SUPPORT / "atspi_reader.py") as reader:
            started.append(answering := subprocess.Popen(
                [*AS_NOBODY, "/usr/bin/python3", "-", "uninstaller", button, STRINGS["Finish"]], stdin=reader,
                stdout=subprocess.PIPE, text=True, cwd="/", env={**os.environ, **session}))
        started.append(program := subprocess.Popen(
            [*AS_NOBODY, installed.program], env={**installed.env, **session, **env}, cwd="/",
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
            preexec_fn=lambda: signal.signal(signal.SIGCHLD, sigchld)))
        log = program.communicate(timeout=120)[1]
    finally:
        for process in started:
            process.terminate()
    services.communicate(timeout=10)
    dialogs = [json.loads(line) for line in answering.communicate(timeout=10)[0].splitlines()]
    if replay.is_alive():
        open(installed.logs / "to-root", "wb").close()
    replay.join()
    assert program.returncode == 0, log
    return log, dialogs


@pytest.fixture
def installed():
    subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=755", "tidewell-test", ROOT], check=True)
    yield Installation()
    subprocess.run(["umount", "--lazy", ROOT], check=True)


@pytest.fixture(scope="module")
def session():
    """A display, a system bus of the tests' own run by nobody, and nobody's accessibility bus; their environment."""
    started = []

    def start(command, **options):  # nobody may not reach this checkout: "/" as the folder
        started.append(subprocess.Popen(command, stdout=subprocess.PIPE, text=True, cwd="/", **options))
        return started[-1].stdout.readline().strip()

    try:
        display = start(["Xvfb", "-displayfd", "1", "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        with tempfile.NamedTemporaryFile("w", suffix=".conf") as config:  # read once, at start
            os.fchmod(config.fileno(), 0o644)
            config.write(SYSTEM_BUS)
            config.flush()
            bus = start([*AS_NOBODY, "dbus-daemon", f"--config-file={config.name}", "--nofork", "--print-address=1"])
        assert display and bus.startswith("unix:") and "/run/dbus/" not in bus  # never the real one
        # The accessibility bus of nobody's session, with the registry of its applications.
        accessibility = start([*AS_NOBODY, "dbus-daemon", "--nofork", "--print-address=1",
                               "--config-file=/usr/share/defaults/at-spi2/accessibility.conf"])
        registry = start([*AS_NOBODY, "/usr/libexec/at-spi2-registryd"], stderr=subprocess.DEVNULL,
                         env={**os.environ, "AT_SPI_BUS_ADDRESS": accessibility})
        assert registry.startswith("SpiRegistry daemon is running")
        yield {"DISPLAY": f":{display}", "DBUS_SYSTEM_BUS_ADDRESS": bus, "AT_SPI_BUS_ADDRESS": accessibility}
    finally:
        for process in reversed(started):
            process.terminate()
            process.communicate(timeout=10)

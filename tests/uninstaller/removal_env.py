"""An installed Tidewell in temporary folders, for runs of the shipped removal script:
a HOME with the agent's files, an applications folder with the downloader's bundle, and
stand-ins for systemctl and pkexec on PATH that record how they were called."""
import os
import stat
from pathlib import Path

BUNDLE = Path(os.environ["UNINSTALLER_BUNDLE"])
SCRIPT = BUNDLE / "Contents/Resources/Uninstaller.sh"

AGENT_FILES = [
    "Library/Quenlar/firm_version_info.txt",
    "Library/Quenlar/tar_product_info.txt",
    "Library/Quenlar/FwUpInfoURL.txt",
    "Library/Quenlar/TarProductURL.txt",
    "Library/Application Support/Quenlar/Tidewell.log",
    "Library/Application Support/Quenlar/firm_version_up.txt",
    "Library/Preferences/com.quenlar.Fetchwick.plist",
    ".config/systemd/user/tidewelld.service",
]
OTHER_FILES = ["Library/Quenlar/other-product.txt", "Library/Preferences/com.example.other.plist"]

SYSTEMCTL = """#!/bin/sh
echo "$*" >> "$STANDIN_LOGS/systemctl.log"
"""

# Real pkexec runs the command as root; the stand-in opens the way for the caller instead.
PKEXEC = """#!/bin/sh
echo "$*" >> "$STANDIN_LOGS/pkexec.log"
if [ -n "$PKEXEC_EXIT" ]; then
    exit "$PKEXEC_EXIT"
fi
chmod u+w "$TIDEWELL_APPLICATIONS_DIR/Quenlar/Tidewell"
exec "$@"
"""


class Installation:
    def __init__(self, root):
        root = Path(root)
        self.home = root / "home"
        self.applications = root / "Applications"
        self.tools = root / "bin"
        self.logs = root / "logs"
        self.downloader = self.applications / "Quenlar/Tidewell/Fetchwick.app"
        self.neighbour = self.applications / "Quenlar/Tidewell/Tidewell Uninstaller.app/Contents/Info.plist"
        for relative in AGENT_FILES + OTHER_FILES:
            self.write(self.home / relative)
        self.write(self.downloader / "Contents/info.plist")
        self.write(self.downloader / "Contents/MacOS/Fetchwick")
        self.write(self.neighbour)
        self.logs.mkdir()
        self.tools.mkdir()
        for name, text in (("systemctl", SYSTEMCTL), ("pkexec", PKEXEC)):
            tool = self.tools / name
            tool.write_text(text)
            tool.chmod(0o755)

    @staticmethod
    def write(path):
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("x")

    def env(self, base=None, pkexec_exit=None):
        env = dict(os.environ if base is None else base)
        env.update(HOME=str(self.home), TIDEWELL_APPLICATIONS_DIR=str(self.applications),
                   PATH=f"{self.tools}:/usr/bin:/bin", STANDIN_LOGS=str(self.logs))
        env.pop("XDG_CONFIG_HOME", None)
        if pkexec_exit is not None:
            env["PKEXEC_EXIT"] = str(pkexec_exit)
        return env

    def make_downloader_foreign(self):
        """Makes the downloader's bundle something the user alone cannot remove."""
        if os.geteuid() == 0:
            for folder, names, files in os.walk(self.downloader):
                for name in [folder] + [os.path.join(folder, n) for n in names + files]:
                    os.chown(name, 65534, 65534)
        else:
            self.downloader.parent.chmod(0o555)

    def release(self):
        """Undoes make_downloader_foreign's lock so that the folder can be cleaned up."""
        folder = self.downloader.parent
        if folder.exists():
            folder.chmod(folder.stat().st_mode | stat.S_IWUSR)

    def calls(self, tool):
        log = self.logs / f"{tool}.log"
        return log.read_text().splitlines() if log.exists() else []

    def agent_files_left(self):
        return [relative for relative in AGENT_FILES if (self.home / relative).exists()]

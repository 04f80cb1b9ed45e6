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
if [ -f "$STANDIN_LOGS/locked" ]; then
    while read -r folder; do chmod u+w "$folder"; done < "$STANDIN_LOGS/locked"
fi
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
        self.log_folder = self.home / "Library/Application Support/Quenlar"
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

    def locked(self):
        return [self.downloader.parent, self.log_folder]

    def make_foreign(self):
        """Makes the downloader's bundle and the agent's two files in the log folder something
        the user alone cannot remove; the stand-in pkexec opens the folders again."""
        for folder in self.locked():
            if os.geteuid() == 0:
                for path in folder.rglob("*"):
                    os.chown(path, 65534, 65534)
            else:
                folder.chmod(0o555)
        (self.logs / "locked").write_text("".join(f"{folder}\n" for folder in self.locked()))
        return [self.downloader, self.log_folder / "Tidewell.log", self.log_folder / "firm_version_up.txt"]

    def release(self):
        """Undoes make_foreign's locks so that the folders can be cleaned up."""
        for folder in self.locked():
            if folder.exists():
                folder.chmod(folder.stat().st_mode | stat.S_IWUSR)

    def calls(self, tool):
        log = self.logs / f"{tool}.log"
        return log.read_text().splitlines() if log.exists() else []

    def agent_files_left(self):
        return [relative for relative in AGENT_FILES if (self.home / relative).exists()]

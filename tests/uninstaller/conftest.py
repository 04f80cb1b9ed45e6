"""An installed Tidewell in temporary folders, beside files of other programs, and stand-ins for
systemctl and pkexec on PATH that record how they were called."""
import os
from pathlib import Path

import pytest

SCRIPT = Path(os.environ["UNINSTALLER_BUNDLE"]) / "Contents/Resources/Uninstaller.sh"
AGENT_FILES = [f"Library/Quenlar/{name}" for name in (
    "firm_version_info.txt", "tar_product_info.txt", "FwUpInfoURL.txt", "TarProductURL.txt")] + [
    "Library/Application Support/Quenlar/Tidewell.log", "Library/Application Support/Quenlar/firm_version_up.txt",
    "Library/Preferences/com.quenlar.Fetchwick.plist", ".config/systemd/user/tidewelld.service"]
OTHER_FILES = ["Library/Quenlar/other-product.txt", "Library/Preferences/com.example.other.plist"]
# Real pkexec runs the command as root with a clean environment.
STAND_INS = {"systemctl": '#!/bin/sh\necho "$*" >> "$STANDIN_LOGS/systemctl.log"\n', "pkexec": """#!/bin/sh
echo "$*" >> "$STANDIN_LOGS/pkexec.log"
[ -z "$PKEXEC_EXIT" ] || exit "$PKEXEC_EXIT"
exec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"
"""}


class Installation:
    def __init__(self, root):
        self.home, self.applications, tools, self.logs = map(root.joinpath, ("home", "Applications", "bin", "logs"))
        self.downloader = self.applications / "Quenlar/Tidewell/Fetchwick.app"
        self.neighbour = self.applications / "Quenlar/Tidewell/Tidewell Uninstaller.app/Contents/Info.plist"
        self.foreign = [self.downloader.parent, self.home / "Library/Application Support/Quenlar"]
        for path in [self.home / relative for relative in AGENT_FILES + OTHER_FILES] + [
                self.downloader / "Contents/MacOS/Fetchwick", self.neighbour] + [tools / name for name in STAND_INS]:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(STAND_INS.get(path.name, "x"))
            path.chmod(0o755)
        self.logs.mkdir()
        self.env = {**os.environ, "HOME": str(self.home), "TIDEWELL_APPLICATIONS_DIR": str(self.applications),
                    "PATH": f"{tools}:/usr/bin:/bin", "STANDIN_LOGS": str(self.logs)}
        self.env.pop("XDG_CONFIG_HOME", None)

    def make_foreign(self):
        """Makes the downloader's bundle and the agent's two log-folder files need rights; returns them."""
        for folder in self.foreign:
            for path in folder.rglob("*"):
                os.chown(path, 65534, 65534)
        return [self.downloader] + [self.foreign[1] / name for name in ("Tidewell.log", "firm_version_up.txt")]

    def calls(self, tool):
        log = self.logs / f"{tool}.log"
        return log.read_text().splitlines() if log.exists() else []

    def agent_files_left(self):
        return [relative for relative in AGENT_FILES if (self.home / relative).exists()]


@pytest.fixture
def installed(tmp_path):
    return Installation(tmp_path)

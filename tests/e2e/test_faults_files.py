"""The real tidewelld, as nobody (root ignores file modes), in a hostile HOME: a Library folder
it may not read or write, or folders where its files belong."""
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

import pytest

from tidewell_world import Agent, StubServer, install_fake_fetchwick, launches, list_routes

FIRMWARE_LIST = "FormatVersion:091\nTidewell,102,mac,https://x/tw.pkg\n"
TARGET_LIST = "FormatVersion:091\nOld Unit,14972,12288\n"
UNREADABLE = "[WRN] file open error.tar_product_info.txt"
FOLDERS = ["Quenlar/tar_product_info.txt", "Preferences/com.quenlar.Fetchwick.plist",
           "Application Support/Quenlar/Tidewell.log", "Application Support/Quenlar/firm_version_up.txt"]


@pytest.mark.parametrize("library_mode, file_mode, folders, result, logged", [
    # The override files cannot be read either: the built-in list host must stay out of reach.
    (0o000, 0o644, [], "fw=1 pl=1", [UNREADABLE]),
    (0o555, 0o444, [], "fw=0 pl=0", ["[ERR] Firmware update list create error",
                                     "[ERR] Firmware update list(Tidewell) write erro"]),
    (0o755, 0o644, FOLDERS, "fw=0 pl=0", [UNREADABLE]),
])
def test_no_hand_off_and_the_earlier_list_kept(monkeypatch, tmp_path, library_mode, file_mode, folders, result,
                                               logged):
    # Unreadable, the agent runs in a network namespace of its own (only a loopback that is down).
    wrapper = tmp_path / "as-nobody"
    wrapper.write_text(f"#!/bin/sh\nexec {'unshare --net' if library_mode == 0 else ''} setpriv --reuid=nobody "
                       f"--regid=nogroup --clear-groups '{os.environ['TIDEWELLD']}'\n")
    wrapper.chmod(0o755)
    monkeypatch.setenv("TIDEWELLD", str(wrapper))
    top = Path(tempfile.mkdtemp(prefix="tidewell-nobody-"))  # tmp_path's parents are closed to nobody
    top.chmod(0o755)
    record = install_fake_fetchwick(top / "Applications")
    server = StubServer(tmp_path / "lists", list_routes({"body": FIRMWARE_LIST}, {"body": TARGET_LIST}))
    agent = Agent(top / "home", env={"TIDEWELL_APPLICATIONS_DIR": str(top / "Applications")}, lists_base=server.url(""))
    earlier = agent.list_folder / "firm_version_info.txt"
    earlier.write_text(FIRMWARE_LIST)
    os.utime(earlier, (1.7e9, 1.7e9))  # long ago: the first tick downloads
    agent.support_folder.mkdir(parents=True)
    for name in folders:
        (agent.library / name / "folder").mkdir(parents=True)
    subprocess.run(["chown", "-R", "nobody:nogroup", str(top)], check=True)
    for path in [agent.library, *agent.library.rglob("*")]:
        path.chmod(library_mode if path.is_dir() else file_mode)
    agent.start()
    try:
        assert agent.wait_stderr(f"CollectVariousList Result {result}", timeout=15)
        assert agent.stop() == 0
        assert "App Exit" in agent.stderr() and all(line in agent.stderr() for line in logged), agent.stderr()
        assert launches(record) == []
        assert earlier.read_text() == FIRMWARE_LIST
    finally:
        agent.kill()
        server.close()
        shutil.rmtree(top)  # as root, whatever the modes

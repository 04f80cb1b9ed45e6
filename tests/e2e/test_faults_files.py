"""The real tidewelld in a hostile HOME: a Library folder it may not read or write, and
folders where its files belong. Root ignores file modes, so those agents run as nobody."""
import os
import pwd
import shutil
import tempfile
from pathlib import Path

import pytest

from tidewell_world import Agent, StubServer, install_fake_fetchwick, launches, list_routes
from usbbed import UsbTestbed

FIRMWARE_LIST = "FormatVersion:091\nTidewell,102,mac,https://x/tw.pkg\n"
LIST_ROUTES = list_routes({"body": FIRMWARE_LIST}, {"body": "FormatVersion:091\nOld Unit,14972,12288\n"})


@pytest.fixture
def nobody(monkeypatch, tmp_path):
    """A folder that nobody may enter, and TIDEWELLD started as nobody; with OFFLINE in the
    agent's environment, in a network namespace of its own (only a loopback that is down)."""
    wrapper = tmp_path / "as-nobody"
    wrapper.write_text(f"#!/bin/sh\nexec ${{OFFLINE:+unshare --net}} setpriv --reuid=nobody --regid=nogroup "
                       f"--clear-groups '{os.environ['TIDEWELLD']}'\n")
    wrapper.chmod(0o755)
    monkeypatch.setenv("TIDEWELLD", str(wrapper))
    top = Path(tempfile.mkdtemp(prefix="tidewell-nobody-"))
    top.chmod(0o755)
    yield top
    for folder, _, _ in os.walk(top):
        os.chmod(folder, 0o755)
    shutil.rmtree(top)


def hand_to_nobody(top, library_mode, file_mode=0o644):
    """Everything below top to nobody; the Library folder and all below it get the modes."""
    user = pwd.getpwnam("nobody")
    for folder, _, files in os.walk(top):
        os.chown(folder, user.pw_uid, user.pw_gid)
        for name in files:
            os.chown(os.path.join(folder, name), user.pw_uid, user.pw_gid)
            if "/Library" in folder:
                os.chmod(os.path.join(folder, name), file_mode)
    for folder in reversed([folder for folder, _, _ in os.walk(top / "home" / "Library")]):
        os.chmod(folder, library_mode)


def run_until_first_download(agent, result="fw=0 pl=0"):
    agent.start()
    try:
        assert agent.wait_stderr(f"CollectVariousList Result {result}", timeout=15)
        assert agent.stop() == 0
    finally:
        agent.kill()
    assert "App Exit" in agent.stderr()
    return agent.stderr()


def test_unreadable_library_folder(nobody):
    # The override files cannot be read either: the built-in list host must stay out of reach.
    agent = Agent(nobody / "home", env={"OFFLINE": "1"})
    hand_to_nobody(nobody, 0o000)
    assert "[WRN] file open error.tar_product_info.txt" in run_until_first_download(agent, "fw=1 pl=1")


def test_unwritable_library_folder_keeps_its_lists_and_reports_the_hand_off(nobody, tmp_path):
    applications = nobody / "Applications"
    record = install_fake_fetchwick(applications)
    server = StubServer(tmp_path / "lists", LIST_ROUTES)
    try:
        agent = Agent(nobody / "home", env={"TIDEWELL_APPLICATIONS_DIR": str(applications)},
                      lists_base=server.url(""))
        earlier = agent.list_folder / "firm_version_info.txt"
        earlier.write_text(FIRMWARE_LIST)
        # Two days old: the first tick downloads.
        os.utime(earlier, (1.7e9, 1.7e9))
        agent.support_folder.mkdir(parents=True)
        hand_to_nobody(nobody, 0o555, 0o444)
        stderr = run_until_first_download(agent)
    finally:
        server.close()
    assert "[ERR] Firmware update list create error" in stderr
    assert "[ERR] Firmware update list(Tidewell) write erro" in stderr
    assert launches(record) == []
    assert earlier.read_text() == FIRMWARE_LIST


def test_folders_in_place_of_the_agents_files(tmp_path):
    server = StubServer(tmp_path / "lists", LIST_ROUTES)
    with UsbTestbed() as bed:
        bed.add_device(product_id=0x1234, product="Deck Unit 2", manufacturer="Quenlar", serial="A1")
        agent = Agent(tmp_path / "home", env=bed.env(), lists_base=server.url(""))
        # The firmware list stays missing: the first tick downloads.
        for name in ("Quenlar/tar_product_info.txt", "Preferences/com.quenlar.Fetchwick.plist",
                     "Application Support/Quenlar/Tidewell.log",
                     "Application Support/Quenlar/firm_version_up.txt"):
            (agent.library / name / "folder").mkdir(parents=True)
        try:
            stderr = run_until_first_download(agent)
        finally:
            server.close()
        assert "main Device Count prev=0 cur=1" in stderr
        assert "[WRN] file open error.tar_product_info.txt" in stderr
        assert bed.errors() == []

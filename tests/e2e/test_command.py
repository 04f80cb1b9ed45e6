"""The tidewell command on the agent's files, an emulated bus and the local list server: what it shows, as
text and as JSON, that it writes nothing of the agent's but the lists, and its usage."""
import json
import os
import re
import signal
import subprocess
import time

import pytest

from tidewell_world import (FIRMWARE_LIST_PATH, TARGET_LIST_PATH, Agent, StubServer, list_routes, make_private_folder,
                            wait_until)
from usbbed import UsbTestbed

FIRMWARE = "FormatVersion:091\nDeck Unit 2,124,mac,https://x/deck.bin\nMixer,100,mac,https://x/mixer.bin\n"
TARGET = "FormatVersion:091\nHidden,14972,4099\n"
EARLIER = "FormatVersion:091\nearlier\n"
USAGE = "Usage: tidewell [--json] status|devices|updates|refresh\n"


def tidewell(agent, *arguments, env=None):
    # The machine's proxy is no part of the test's world.
    environment = {key: value for key, value in agent.environment.items() if "proxy" not in key.lower()}
    return subprocess.run([os.environ["TIDEWELL"], *arguments], env={**environment, **(env or {})},
                          capture_output=True, text=True, timeout=60)


def document(agent, command, env=None):
    shown = tidewell(agent, "--json", command, env=env)
    return shown.returncode, json.loads(shown.stdout)


def files(agent):
    return {path: path.stat().st_mtime_ns for path in agent.home.rglob("*")}


def write_lists(agent, firmware, target):
    (agent.list_folder / "firm_version_info.txt").write_text(firmware)
    (agent.list_folder / "tar_product_info.txt").write_text(target)


@pytest.mark.parametrize("arguments, status, stdout", [
    ([], 2, ""), (["bogus"], 2, ""), (["status", "devices"], 2, ""), (["--jsn", "status"], 2, ""),
    (["--version", "x"], 2, ""), (["--version"], 0, r"tidewell \d+\.\d+\.\d+\n"),
    (["updates", "--help"], 0, r"(?s)Usage: .*tidewell\(1\)\.\n")])
def test_usage(tmp_path, arguments, status, stdout):
    shown = tidewell(Agent(tmp_path / "home"), *arguments)
    assert (shown.returncode, shown.stderr) == (status, USAGE if status == 2 else "")
    assert re.fullmatch(stdout, shown.stdout)


def test_status_names_the_running_agent_and_the_state_of_both_lists(tmp_path):
    agent = Agent(tmp_path / "home", env={"DO_NOT_TRACK": "1"})
    write_lists(agent, FIRMWARE, "FormatVersion:090\n")
    os.utime(agent.list_folder / "firm_version_info.txt", (time.time() - 7260,) * 2)
    status, shown = document(agent, "status")
    assert (status, shown["agent"], shown["last_download"]) == (0, {"running": False, "pid": None}, None)
    assert [(entry["name"], entry["present"], entry["valid"]) for entry in shown["lists"]] == [
        ("firm_version_info.txt", True, True), ("tar_product_info.txt", True, False)]
    assert 7260 <= shown["lists"][0]["age_seconds"] < 7320
    # The last pass over both lists in the agent's log, with the reasons logged since the pass before.
    make_private_folder(agent.home, agent.support_folder)
    (agent.support_folder / "Tidewell.log").write_text(
        "[2026/12/01 09:00:00][WRN] List download from a:1 failed: x\n"
        "[2026/12/01 09:00:00][INF] CollectVariousList Result fw=1 pl=0\n"
        "[2026/12/02 09:00:00][WRN] List download from b:2 failed: HTTP status 404\n"
        "[2026/12/02 09:00:01][INF] CollectVariousList Result fw=0 pl=1\n[2026/12/02 09:00:02][INF] App Run\n")
    assert document(agent, "status")[1]["last_download"] == {
        "logged": "2026/12/02 09:00:01", "firmware_list": True, "target_list": False,
        "failures": ["List download from b:2 failed: HTTP status 404"]}
    agent.start()
    try:
        assert agent.wait_stderr("App Run")
        assert document(agent, "status")[1]["agent"] == {"running": True, "pid": agent.process.pid}
        assert re.fullmatch(rf"agent: running, pid {agent.process.pid}\n"
                            r"firm_version_info\.txt: downloaded [-\d: ]+, 2 h 1 min ago, valid\n"
                            r"tar_product_info\.txt: downloaded .*, not valid: the agent does not use it\n"
                            r"last download \(2026/12/02 09:00:01\): failed\n  List download from b:2 failed: HTTP .*\n",
                            tidewell(agent, "status").stdout)
    finally:
        assert agent.stop() == 0


def test_devices_shows_each_unit_with_the_agents_decision_and_no_command_writes_a_file(tmp_path):
    with UsbTestbed() as bed:
        agent = Agent(tmp_path / "home", env=bed.env())
        write_lists(agent, FIRMWARE, TARGET)
        deck = dict(product_id=0x1234, product="Deck Unit 2", manufacturer="Quenlar")
        bed.add_device(release=0x0123, serial="A1", **deck)
        bed.add_device(release=0x0124, serial="A2", **deck)
        bed.add_device(0x2000, product="Mixer", manufacturer="Quenlar")
        bed.add_device(0x3000, product="Pad\u00e9\x1b[2J", serial="P1")
        bed.add_device(0x1003, product="Hidden", serial="H1")  # on the target list
        bed.add_device(0x1234, vendor_id=0x1111, product="Deck Unit 2", serial="X")
        before = files(agent)
        status, shown = document(agent, "devices")
        assert status == 0 and shown["devices"] == [
            dict(product="Deck Unit 2", product_id=0x1234, serial="A1", installed="1.23", latest="1.24",
                 update_due=True, package="https://x/deck.bin"),
            dict(product="Deck Unit 2", product_id=0x1234, serial="A2", installed="1.24", latest="1.24",
                 update_due=False, package="https://x/deck.bin"),
            dict(product="Mixer", product_id=0x2000, serial=None, installed="1.00", latest="1.00",
                 update_due=False, package="https://x/mixer.bin"),
            dict(product="Pad\u00e9\x1b[2J", product_id=0x3000, serial="P1", installed="1.00", latest=None,
                 update_due=False, package=None)]
        assert tidewell(agent, "devices").stdout.splitlines() == [
            "Deck Unit 2, serial A1: firmware 1.23, latest 1.24: update due",
            "Deck Unit 2, serial A2: firmware 1.24, latest 1.24: up to date",
            "Mixer, serial none: firmware 1.00, latest 1.00: up to date",
            "Pad\u00e9\\x1B[2J, serial P1: firmware 1.00, not in the firmware version list"]
        assert all(tidewell(agent, command).returncode == 0 for command in ("status", "updates"))
        assert files(agent) == before
        assert bed.errors() == []


HAND_OFF = [
    ("Deck Unit 2,1.23,1.24,https://x/a.bin", ["Deck Unit 2", "1.23", "1.24", "https://x/a.bin"]),
    ("A,B,1.05,1.06,HTTP://x/y", ["A,B", "1.05", "1.06", "HTTP://x/y"]),
    ("Deck,1.23,1.24,https://a/?u=,1.2,https://b", ["Deck", "1.23", "1.24", "https://a/?u=,1.2,https://b"]),
    ("Tidewell,1.01,1.02,https://x/t.pkg", ["Tidewell", "1.01", "1.02", "https://x/t.pkg"]),
    ("Deck,1.23,124,https://x", None), (",1.23,1.24,https://x", None), ("Deck,,1.24,https://x", None),
    ("Deck,1.23,1.24,ftp://x", None), ("Deck,1.23,1.24,https://", None)]


def test_updates_are_the_rows_of_the_hand_off_file(tmp_path):
    agent = Agent(tmp_path / "home")
    assert document(agent, "updates")[1]["updates"] == []
    hand_off = agent.support_folder / "firm_version_up.txt"
    hand_off.parent.mkdir(parents=True, exist_ok=True)
    hand_off.write_text("".join(row + "\n" for row, _ in HAND_OFF))
    status, shown = document(agent, "updates")
    keys = ("product", "installed", "latest", "package")
    assert shown["updates"] == [dict(zip(keys, fields)) for _, fields in HAND_OFF if fields]
    assert (status, shown["skipped"], shown["written"]) == (0, 5, int(hand_off.stat().st_mtime))


def test_refresh_by_the_agents_rules_says_why_a_list_failed(tmp_path):
    server = StubServer(tmp_path / "lists", {}, tls="ca")
    agent = Agent(tmp_path / "home", lists_base=server.url(""))
    fw, target = agent.list_folder / "firm_version_info.txt", agent.list_folder / "tar_product_info.txt"
    good = list_routes({"body": FIRMWARE}, {"body": TARGET})
    missing = {**good, TARGET_LIST_PATH: {"status": 404, "body": "nope"}}
    http = lambda: (agent.list_folder / "TarProductURL.txt").write_text(f"http://127.0.0.1:{server.port}/pl\n")
    a_folder = lambda: (target.unlink(), (target / "x").mkdir(parents=True))
    # routes, what is done before, the exit status, each list's (downloaded, valid), the failed one's error text.
    rows = [
        (good, None, 0, [(True, True), (True, True)], None),
        (missing, None, 1, [(True, True), (False, False)], f"127.0.0.1:{server.port}: HTTP status 404"),
        ({**good, FIRMWARE_LIST_PATH: {"body": "<html>down</html>"}}, None, 1, [(True, False), (True, True)], None),
        # Refused as the agent refuses it: the built-in address is used, here through a closed local proxy.
        (good, http, 1, [(True, True), (False, False)], "Failed to connect to 127.0.0.1 port 9"),
        (good, a_folder, 1, [(True, True), (False, False)], f"could not be stored in {target}"),
    ]
    env = {"CURL_CA_BUNDLE": server.ca_file, "https_proxy": "http://127.0.0.1:9", "no_proxy": "127.0.0.1"}
    try:
        for routes, prepare, status, results, error in rows:
            server.set_routes(routes)
            write_lists(agent, EARLIER, EARLIER)
            (agent.list_folder / "TarProductURL.txt").write_text(server.url(TARGET_LIST_PATH) + "\n")
            (prepare or (lambda: None))()
            code, shown = document(agent, "refresh", env=env)
            errors = [entry["error"] for entry in shown["lists"] if entry["error"] is not None]
            assert (code, [(entry["downloaded"], entry["valid"]) for entry in shown["lists"]]) == (status, results)
            assert len(errors) == (error is not None) and all(error in text for text in errors), errors
            assert shown["ignored_overrides"] == (["TarProductURL.txt"] if prepare is http else [])
            for path, route, (downloaded, _) in zip((fw, target), routes.values(), results):
                assert path.is_dir() or path.read_text() == (route["body"] if downloaded else EARLIER)
            if prepare is a_folder:
                target.joinpath("x").rmdir(), target.rmdir()
        assert server.requests("/pl") == []
        server.set_routes(missing)
        text = tidewell(agent, "refresh", env=env)
        assert (text.returncode, text.stdout) == (
            1, f"firm_version_info.txt: downloaded from {server.url(FIRMWARE_LIST_PATH)}\n")
        assert text.stderr == f"tidewell: tar_product_info.txt not downloaded from {server.url(TARGET_LIST_PATH)}: " \
                              f"127.0.0.1:{server.port}: HTTP status 404\n"
    finally:
        server.close()


def test_an_interrupt_ends_a_stalled_refresh_and_leaves_the_lists(tmp_path):
    server = StubServer(tmp_path / "lists", list_routes({"body": FIRMWARE * 10, "stall_after": 20}, {"body": TARGET}),
                        tls="ca")
    agent = Agent(tmp_path / "home", lists_base=server.url(""))
    write_lists(agent, EARLIER, EARLIER)
    refresh = subprocess.Popen([os.environ["TIDEWELL"], "refresh"], env={**agent.environment,
                               "CURL_CA_BUNDLE": server.ca_file}, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    try:
        # The server has sent the first 20 bytes and stalls.
        assert wait_until(lambda: server.requests(FIRMWARE_LIST_PATH), timeout=15)
        refresh.send_signal(signal.SIGINT)
        stopped = time.monotonic()
        _, stderr = refresh.communicate(timeout=10)
        assert time.monotonic() - stopped < 3
        assert refresh.returncode == 1 and stderr.endswith("tidewell: interrupted\n")
    finally:
        refresh.kill()
        server.close()
    assert sorted(path.name for path in agent.list_folder.iterdir()) == [
        "FwUpInfoURL.txt", "TarProductURL.txt", "firm_version_info.txt", "tar_product_info.txt"]
    assert (agent.list_folder / "firm_version_info.txt").read_text() == EARLIER

"""The real tidewelld in a hostile HOME: folders where its files belong; its standard error is the journal."""
import os

from tidewell_world import Agent, StubServer, install_fake_fetchwick, launches, list_routes

FIRMWARE_LIST = "FormatVersion:091\nTidewell,102,mac,https://x/tw.pkg\n"
TARGET_LIST = "FormatVersion:091\nOld Unit,14972,12288\n"
FOLDERS = ["Quenlar/tar_product_info.txt", "Preferences/com.quenlar.Fetchwick.plist",
           "Application Support/Quenlar/Tidewell.log", "Application Support/Quenlar/firm_version_up.txt"]


def test_no_hand_off_and_the_earlier_list_kept(tmp_path):
    record = install_fake_fetchwick(tmp_path / "Applications")
    server = StubServer(tmp_path / "lists", list_routes({"body": FIRMWARE_LIST}, {"body": TARGET_LIST}), tls="ca")
    agent = Agent(tmp_path / "home", env={"TIDEWELL_APPLICATIONS_DIR": str(tmp_path / "Applications"),
                                          "CURL_CA_BUNDLE": server.ca_file}, lists_base=server.url(""))
    earlier = agent.list_folder / "firm_version_info.txt"
    earlier.write_text(FIRMWARE_LIST)
    os.utime(earlier, (1.7e9, 1.7e9))  # long ago: the first tick downloads
    for name in FOLDERS:
        (agent.library / name / "folder").mkdir(parents=True)
    # Standard error is the journal, as the service manager tells: lines go without stamps.
    stderr = open(agent.stderr_path, "wb")
    stat = os.fstat(stderr.fileno())
    agent.environment["JOURNAL_STREAM"] = f"{stat.st_dev}:{stat.st_ino}"
    agent.start(stderr)
    try:
        assert agent.wait_stderr("CollectVariousList Result fw=0 pl=0", timeout=15)
        assert agent.stop() == 0
        lines = agent.stderr().splitlines()
        assert {"<6>App Run", "<4>file open error.tar_product_info.txt", "<6>App Exit"} <= set(lines)
        assert launches(record) == []
        assert earlier.read_text() == FIRMWARE_LIST
    finally:
        agent.kill()
        server.close()

"""The list road: the lists fetched over HTTPS at the first tick, a server the CA did not sign
refused, the downloader started in updater mode for a newer updater; no reader of standard error."""
import os

from tidewell_world import (FIRMWARE_LIST_PATH, TARGET_LIST_PATH, Agent, StubServer, install_fake_fetchwick,
                            launches, wait_until)

FIRMWARE_LIST = ("FormatVersion:091\r\n"
                 "Deck Unit 2,124,mac,https://x/a.bin\r\n"
                 "Tidewell,102,mac,https://x/tidewell.pkg\r\n")


def test_first_tick_fetches_from_the_signed_server_only_and_starts_the_updater(tmp_path):
    trusted = StubServer(tmp_path / "trusted", {FIRMWARE_LIST_PATH: {"body": FIRMWARE_LIST}}, tls="ca")
    forged = StubServer(tmp_path / "forged", {TARGET_LIST_PATH: {"body": "FormatVersion:091\n"}}, tls="self")
    record = install_fake_fetchwick(tmp_path / "Applications", version="1.00")
    agent = Agent(tmp_path / "home", lists_base=trusted.url(""),
                  env={"TIDEWELL_APPLICATIONS_DIR": str(tmp_path / "Applications"), "CURL_CA_BUNDLE": trusted.ca_file})
    (agent.list_folder / "TarProductURL.txt").write_text(forged.url(TARGET_LIST_PATH) + "\n")
    # The first tick's lines come after several system-log lines that found no reader.
    reader, writer = os.pipe()
    os.close(reader)
    agent.start(stderr=os.fdopen(writer, "wb"))
    try:
        assert agent.wait_log("CollectVariousList Result fw=0 pl=1\n")
        hand_off = agent.support_folder / "firm_version_up.txt"
        assert wait_until(lambda: launches(record)) == [["-m ", str(hand_off)]]
        assert hand_off.read_text() == "Tidewell,1.00,1.02,https://x/tidewell.pkg\n"
        assert (agent.list_folder / "firm_version_info.txt").read_bytes() == FIRMWARE_LIST.encode()
        assert not (agent.list_folder / "tar_product_info.txt").exists()
        assert agent.stop() == 0
    finally:
        agent.kill()
        forged.close()
        trusted.close()

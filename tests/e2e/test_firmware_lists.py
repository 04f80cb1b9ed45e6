"""The real tidewelld fetching its lists at the first tick and starting the downloader in
updater mode when the list names a newer updater."""
from tidewell_e2e import Agent, StubServer, install_fake_fetchwick, list_routes, read_json_lines, wait_until

FIRMWARE_LIST = ("FormatVersion:091\r\n"
                 "Deck Unit 2,124,mac,https://x/a.bin\r\n"
                 "Tidewell,102,mac,https://x/tidewell.pkg\r\n"
                 "Tidewell,109,mac,https://x/second.pkg\r\n")
TARGET_LIST = "FormatVersion:091\nDeck Unit 2,14972,4660\n"
ROUTES = list_routes({"body": FIRMWARE_LIST}, {"chunks": ["FormatVersion:091\n", "Deck Unit 2,14972,4660\n"]})


def start_agent(tmp_path, server, ca_file):
    record = install_fake_fetchwick(tmp_path / "Applications", version="1.00")
    agent = Agent(tmp_path / "home", lists_base=server.url(""),
                  env={"TIDEWELL_APPLICATIONS_DIR": str(tmp_path / "Applications"), "CURL_CA_BUNDLE": ca_file})
    return agent.start(), record


def test_first_tick_downloads_both_lists_and_starts_the_updater(tmp_path):
    server = StubServer(tmp_path / "server", ROUTES, tls="ca")
    agent, record = start_agent(tmp_path, server, server.ca_file)
    try:
        assert agent.wait_log("CollectVariousList Result fw=0 pl=0\n")
        hand_off = agent.library / "Application Support" / "Quenlar" / "firm_version_up.txt"
        assert wait_until(lambda: read_json_lines(record)) == [["-m ", str(hand_off)]]
        assert hand_off.read_text() == "Tidewell,1.00,1.02,https://x/tidewell.pkg\n"
        assert (agent.list_folder / "firm_version_info.txt").read_bytes() == FIRMWARE_LIST.encode()
        assert (agent.list_folder / "tar_product_info.txt").read_text() == TARGET_LIST
        paths = [request["path"] for request in server.requests()]
        assert paths == list(ROUTES)
        assert all("User-Agent" not in request["headers"] for request in server.requests())
        assert agent.stop() == 0
    finally:
        agent.kill()
        server.close()


def test_a_server_the_ca_did_not_sign_is_refused(tmp_path):
    trusted = StubServer(tmp_path / "trusted", {}, tls="ca")
    forged = StubServer(tmp_path / "forged", ROUTES, tls="self")
    agent, record = start_agent(tmp_path, forged, trusted.ca_file)
    try:
        assert agent.wait_log("CollectVariousList Result fw=1 pl=1\n")
        assert not (agent.list_folder / "firm_version_info.txt").exists()
        assert not (agent.list_folder / "tar_product_info.txt").exists()
        assert agent.wait_log("file open error.firm_version_info.txt")
        assert agent.stop() == 0
        assert read_json_lines(record) == []
    finally:
        agent.kill()
        forged.close()
        trusted.close()

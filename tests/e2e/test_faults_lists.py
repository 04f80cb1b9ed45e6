"""The real tidewelld against a list server that stalls."""
import os
import signal
import time

from usbbed import UsbTestbed
from tidewell_e2e import (Agent, StubServer, install_fake_fetchwick, list_routes, read_json_lines,
                          wait_until)

EARLIER = "FormatVersion:091\nDeck Unit 2,110,mac,https://x/old.bin\n"


def test_stalled_list_server_holds_neither_device_changes_nor_the_stop_nor_leaks_to_the_downloader(tmp_path):
    body = "FormatVersion:091\n" + "Deck Unit 2,124,mac,https://x/deck.bin\n" * 100
    stalling = {"body": body, "stall_after": 20}
    server = StubServer(tmp_path / "lists", list_routes(stalling, stalling))
    record = install_fake_fetchwick(tmp_path / "Applications")
    with UsbTestbed() as bed:
        env = {**bed.env(), "TIDEWELL_APPLICATIONS_DIR": str(tmp_path / "Applications")}
        agent = Agent(tmp_path / "home", env=env, lists_base=server.url(""))
        earlier = agent.list_folder / "firm_version_info.txt"
        earlier.write_text(EARLIER)
        two_days_ago = time.time() - 2 * 86400
        os.utime(earlier, (two_days_ago, two_days_ago))
        agent.start()
        try:
            assert wait_until(lambda: server.requests(), timeout=15)
            # The tick waits in the transfer; the device-change thread does not.
            bed.add_device(product_id=0x1234, product="Deck Unit 2", manufacturer="Quenlar", serial="A1")
            assert agent.wait_stderr("onDeviceChange Device Count prev=0 cur=1")
            assert len(server.requests()) == 1
            # Started meanwhile, the downloader holds neither the connection nor the temporary list.
            assert wait_until(lambda: read_json_lines(record))
            descriptors = read_json_lines(record.with_suffix(".fds"))
            assert [sorted(fds) for fds in descriptors] == [["0", "1", "2"]], descriptors

            agent.signal(signal.SIGTERM)
            signalled = time.monotonic()
            assert agent.stop(timeout=30) == 0
            # Far within the 60 s stall limit of either list.
            assert time.monotonic() - signalled < 10
        finally:
            agent.kill()
            server.close()
        assert earlier.read_text() == EARLIER
        assert sorted(p.name for p in agent.list_folder.iterdir()) == [
            "FwUpInfoURL.txt", "TarProductURL.txt", "firm_version_info.txt"]
        assert bed.errors() == []

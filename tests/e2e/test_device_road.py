"""The device road while the list server stalls: a vendor device plugged in then starts the downloader, which
inherits nothing of the open transfer, and the stop does not wait for the lists. Standard error is the journal."""
import os
import time

from tidewell_world import Agent, StubServer, install_fake_fetchwick, list_routes, read_json_lines, wait_until
from usbbed import UsbTestbed

EARLIER = "FormatVersion:091\nDeck Unit 2,124,mac,https://x/deck.bin\n"


def test_downloader_started_during_a_stalled_list_transfer_holds_descriptors_0_to_2_only(tmp_path):
    stalling = {"body": EARLIER * 50, "stall_after": 20}
    server = StubServer(tmp_path / "lists", list_routes(stalling, stalling), tls="ca")
    applications = tmp_path / "Applications"
    record = install_fake_fetchwick(applications)
    with UsbTestbed() as bed:
        agent = Agent(tmp_path / "home", env={**bed.env(), "TIDEWELL_APPLICATIONS_DIR": str(applications),
                                              "CURL_CA_BUNDLE": server.ca_file}, lists_base=server.url(""))
        earlier = agent.list_folder / "firm_version_info.txt"
        earlier.write_text(EARLIER)
        # Two days old: the first tick downloads, and waits in the stalled transfer.
        os.utime(earlier, (time.time() - 2 * 86400,) * 2)
        # Standard error is the journal, as the service manager tells: lines go without stamps.
        stderr = open(agent.stderr_path, "wb")
        stat = os.fstat(stderr.fileno())
        agent.environment["JOURNAL_STREAM"] = f"{stat.st_dev}:{stat.st_ino}"
        agent.start(stderr)
        try:
            assert agent.wait_stderr("\n<6>main Device Count prev=0 cur=0\n")
            assert wait_until(server.requests, timeout=15)
            bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2", manufacturer="Quenlar")
            (started,) = wait_until(lambda: read_json_lines(record))
            assert sorted(started["fds"]) == ["0", "1", "2"]
            assert agent.stop() == 0
            journal = set(agent.stderr().splitlines())
            assert {"<6>App Run", "<4>file open error.tar_product_info.txt", "<6>App Exit"} <= journal
        finally:
            agent.kill()
            server.close()
        # The cut transfer left the earlier list and no temporary file.
        assert earlier.read_text() == EARLIER
        assert sorted(p.name for p in agent.list_folder.iterdir()) == [
            "FwUpInfoURL.txt", "TarProductURL.txt", "firm_version_info.txt"]
        assert bed.errors() == []

"""The device road on an emulated bus while the list server stalls: a vendor device behind
the firmware list starts the downloader once, and the stop does not wait for the lists."""
import os
import subprocess
import time

from tidewell_world import Agent, StubServer, install_fake_fetchwick, launches, list_routes, read_json_lines, wait_until
from usbbed import UsbTestbed

EARLIER = "FormatVersion:091\nDeck Unit 2,124,mac,https://x/deck.bin\n"
DECK = dict(product_id=0x1234, release=0x0123, product="Deck Unit 2", manufacturer="Quenlar")


def test_plugged_device_starts_the_downloader_once_while_the_lists_stall(tmp_path):
    stalling = {"body": "FormatVersion:091\n" + "Deck Unit 2,125,mac,https://x/deck.bin\n" * 100, "stall_after": 20}
    server = StubServer(tmp_path / "lists", list_routes(stalling, stalling))
    applications = tmp_path / "Applications"
    record = install_fake_fetchwick(applications)
    with UsbTestbed() as bed:
        agent = Agent(tmp_path / "home", env={**bed.env(), "TIDEWELL_APPLICATIONS_DIR": str(applications)},
                      lists_base=server.url(""))
        earlier = agent.list_folder / "firm_version_info.txt"
        earlier.write_text(EARLIER)
        os.utime(earlier, (time.time() - 2 * 86400,) * 2)  # the first tick downloads, and stalls
        agent.start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=0")
            assert wait_until(server.requests, timeout=15)
            bed.add_device(**DECK, serial="D1")
            assert agent.wait_stderr("onDeviceChange Device Count prev=0 cur=1")
            hand_off = agent.support_folder / "firm_version_up.txt"
            assert wait_until(lambda: launches(record)) == [["-f ", str(hand_off)]]
            assert hand_off.read_text() == "Deck Unit 2,1.23,1.24,https://x/deck.bin\n"
            # Neither the list server's connection nor the temporary list reaches the downloader.
            assert sorted(read_json_lines(record)[0]["fds"]) == ["0", "1", "2"]

            # A second unit of the same product: the decision runs again, nothing starts.
            bed.add_device(**DECK, serial="D2")
            assert wait_until(lambda: "curVer:1.23 latestVer:1.24" in agent.log().partition("= D2\n")[2])
            assert "onDeviceChange Device Count prev=1 cur=1" in agent.stderr()
            assert len(server.requests()) == 1

            assert agent.stop() == 0
            # Once no stand-in runs, every start the agent made has recorded itself.
            stand_in = ["pgrep", "-f", str(applications / "Quenlar")]
            assert wait_until(lambda: subprocess.run(stand_in, capture_output=True).returncode == 1)
            assert len(launches(record)) == 1
        finally:
            agent.kill()
            server.close()
        assert earlier.read_text() == EARLIER
        assert sorted(p.name for p in agent.list_folder.iterdir()) == [
            "FwUpInfoURL.txt", "TarProductURL.txt", "firm_version_info.txt"]
        assert bed.errors() == []

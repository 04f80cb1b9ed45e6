"""The device road on an emulated USB bus: a vendor device behind the firmware list,
plugged in while tidewelld runs, starts the downloader with its row."""
from pathlib import Path

from tidewell_e2e import Agent, install_fake_fetchwick, plug_in, read_json_lines, wait_until
from usbbed import UsbTestbed


def downloader_running(applications):
    executable = str(applications / "Quenlar" / "Tidewell" / "Fetchwick.app").encode()
    for cmdline in Path("/proc").glob("[0-9]*/cmdline"):
        try:
            if executable in cmdline.read_bytes():
                return True
        except OSError:
            pass
    return False


def decided_after(log, mark):
    """True once an update decision is logged after mark."""
    at = log.find(mark)
    return at >= 0 and log.find("Deck Unit 2 curVer:1.23 latestVer:1.24", at) >= 0


def test_out_of_date_device_starts_the_downloader_once_per_new_product(tmp_path):
    home = tmp_path / "home"
    lists = home / "Library" / "Quenlar"
    lists.mkdir(parents=True)
    # A fresh list from an earlier run: no download is due at the first tick.
    (lists / "firm_version_info.txt").write_text(
        "FormatVersion:091\nDeck Unit 2,124,mac,https://x/deck.bin\n")
    record = install_fake_fetchwick(tmp_path / "Applications", version="1.00")
    with UsbTestbed() as bed:
        agent = Agent(home, env={**bed.env(), "TIDEWELL_APPLICATIONS_DIR": str(tmp_path / "Applications")})
        agent.start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=0")
            plug_in(agent, bed, "onDeviceChange Device Count prev=0 cur=1", product_id=0x1234, release=0x0123,
                    product="Deck Unit 2", manufacturer="Quenlar", serial="D1")
            hand_off = agent.library / "Application Support" / "Quenlar" / "firm_version_up.txt"
            assert wait_until(lambda: read_json_lines(record)) == [["-f ", str(hand_off)]]
            assert hand_off.read_text() == "Deck Unit 2,1.23,1.24,https://x/deck.bin\n"
            assert (agent.library / "Preferences" / "com.quenlar.Fetchwick.plist").exists()

            # A second unit of the same product: the decision runs again, nothing starts.
            bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2", manufacturer="Quenlar",
                           serial="D2")
            assert wait_until(lambda: decided_after(agent.log(), "Serial Number    = D2"))
            assert "onDeviceChange Device Count prev=1 cur=1" in agent.stderr()
            assert agent.stop() == 0
            # Every start the agent made has happened by now; once no such child runs, each has recorded.
            assert wait_until(lambda: not downloader_running(tmp_path / "Applications"))
            assert len(read_json_lines(record)) == 1
        finally:
            agent.kill()
        assert bed.errors() == []

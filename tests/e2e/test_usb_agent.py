"""The real tidewelld on an emulated USB bus: the device lists in its log file."""
import time

from usbbed import UsbTestbed
from tidewell_e2e import Agent, plug_in


def test_agent_logs_the_vendor_devices_found_at_start_up(tmp_path):
    with UsbTestbed() as bed:
        bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2",
                       manufacturer="Quenlar", serial="A1B2")
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=1")
            log = agent.log()
            assert "  Manufacture Name = Quenlar\n" in log
            assert "  Product ID       = 0x1234\n" in log
            assert "  Product Name     = Deck Unit 2\n" in log
            assert "  Serial Number    = A1B2\n" in log
            assert "  Device Version   = 1.23\n" in log
            assert agent.stop() == 0
        finally:
            agent.kill()
        assert bed.errors() == []


def test_agent_follows_plugging_and_unplugging(tmp_path):
    with UsbTestbed() as bed:
        deck = bed.add_device(product_id=0x1234, release=0x0110, product="Deck Unit 2",
                              manufacturer="Quenlar", serial="A1")
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=1")
            plug_in(agent, bed, "onDeviceChange Device Count prev=1 cur=2", product_id=0x2000, release=0x0105,
                    product="Mixer", manufacturer="Quenlar", serial="M1")
            assert "  Product Name     = Mixer\n" in agent.log()
            assert "  Device Version   = 1.05\n" in agent.log()

            # A second unit of a connected product: one entry per product.
            bed.add_device(product_id=0x2000, release=0x0104, product="Mixer",
                           manufacturer="Quenlar", serial="M2")
            assert agent.wait_stderr("onDeviceChange Device Count prev=2 cur=2")
            assert agent.wait_log("  Serial Number    = M2\n")

            bed.remove_device(deck)
            assert agent.wait_stderr("onDeviceChange Device Count prev=2 cur=1")
            for device in list(bed.devices):
                bed.remove_device(device)
            assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=0")
            assert agent.stop() == 0
        finally:
            agent.kill()
        assert bed.errors() == []


def test_a_burst_of_uevents_brings_at_most_two_rescans(tmp_path):
    with UsbTestbed() as bed:
        deck = bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2",
                              manufacturer="Quenlar", serial="A1")
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=1")
            # The watcher's thread starts after the first scan; until then uevents queue,
            # and the emulated bus gives up once ten wait unread.
            bed.uevent(deck)
            assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=1")
            before = agent.stderr().count("onDeviceChange Device Count")
            # 20 within 100 ms; the last unplugs the device, so its rescan ends the burst.
            for _ in range(19):
                bed.uevent(deck)
                time.sleep(0.005)
            bed.remove_device(deck)
            assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=0")
            assert agent.stderr().count("onDeviceChange Device Count") - before <= 2
            assert agent.stop() == 0
        finally:
            agent.kill()
        assert bed.errors() == []

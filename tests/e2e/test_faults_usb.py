"""The real tidewelld on an emulated bus under unusual timing and load."""
import threading

from usbbed import UsbTestbed, string_descriptor
from tidewell_e2e import Agent


class HeldReply:
    """A string reply that holds the device's answer until released: the agent's scan
    waits inside that control request, so a test can act in the middle of the scan."""

    def __init__(self, text):
        self.data = string_descriptor(text)
        self.asked = threading.Event()
        self.release = threading.Event()

    def __getitem__(self, key):
        if not self.asked.is_set():
            self.asked.set()
            self.release.wait(30)
        return self.data[key]


def test_device_plugged_in_during_the_first_scan_gets_a_rescan(tmp_path):
    with UsbTestbed() as bed:
        held = HeldReply("Quenlar")
        bed.add_device(product_id=0x1234, product="Deck Unit 2", manufacturer="Quenlar", serial="A1",
                       replies={1: held})
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert held.asked.wait(30)
            # Plugged in while the first scan has the bus list in hand; its one uevent is
            # never sent again.
            bed.add_device(product_id=0x2000, product="Mixer", manufacturer="Quenlar", serial="M1",
                           busnum=2, openable=False)
            held.release.set()
            assert agent.wait_stderr("main Device Count prev=0 cur=1")
            assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=2")
            assert "  Product Name     = Mixer\n" in agent.log()
            assert agent.stop() == 0
        finally:
            held.release.set()
            agent.kill()
        assert bed.errors() == []


def test_more_than_128_vendor_devices(tmp_path):
    with UsbTestbed() as bed:
        # Two buses: device numbers of one bus end at 127.
        for n in range(130):
            bed.add_device(product_id=0x3000 + n, product=f"Unit {n}", busnum=1 + n // 100)
        agent = Agent(tmp_path / "home", env=bed.env()).start()
        try:
            assert agent.wait_stderr("main Device Count prev=0 cur=64", timeout=60)
            for device in bed.devices[:3]:
                bed.remove_device(device)
            assert agent.wait_stderr("onDeviceChange Device Count prev=64 cur=64", timeout=60)
            assert agent.stop() == 0
        finally:
            agent.kill()
        log = agent.log()
        assert "  Product Name     = Unit 63\n" in log
        assert "  Product Name     = Unit 66\n" in log
        assert "  Product Name     = Unit 67\n" not in log
        assert bed.errors() == []

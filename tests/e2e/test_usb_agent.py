"""The real tidewelld on an emulated USB bus: the device lists in its log file."""
from usbbed import UsbTestbed
from tidewell_e2e import Agent


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

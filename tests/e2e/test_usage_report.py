"""The usage and firmware roads of one unit on an emulated bus: a DJ application used with it gives one beacon,
each time the unit appears the downloader starts, and a stop during a stalled beacon keeps the report for a resend."""
import plistlib

from tidewell_world import Agent, StubServer, install_fake_fetchwick, launches, start_application, wait_until
from usbbed import UsbTestbed

DECK = dict(product_id=0x1234, release=0x0123, product="Deck Unit 2", manufacturer="Quenlar", serial="A1 B2")
GATE = {"body": '{"measurement": 1}'}
LIST = "FormatVersion:091\nDeck Unit 2,124,mac,https://x/a\n"


def test_beacons_downloader_starts_and_a_stop_mid_reply_keeps_the_report(tmp_path):
    # The gate holds its answer until the device has gone, so the device goes while the first watch reports it.
    gate_answers = tmp_path / "gate-answers"
    server = StubServer(tmp_path / "analytics", {"/appchk.php": {**GATE, "hold": str(gate_answers)},
                                                 "/dot.php": {"body": "ok"}}, tls="ca")
    record = install_fake_fetchwick(tmp_path / "Applications")
    applications = [start_application(tmp_path / "apps", "Serato DJ Pro")]
    try:
        with UsbTestbed() as bed:
            deck = bed.add_device(**DECK)
            env = dict(bed.env(), CURL_CA_BUNDLE=server.ca_file, TIDEWELL_ANALYTICS_SITE="135790",
                       TIDEWELL_ANALYTICS_HOST=f"127.0.0.1:{server.port}",
                       TIDEWELL_APPLICATIONS_DIR=str(tmp_path / "Applications"))
            agent = Agent(tmp_path / "home", env=env)
            agent.drive_clock()
            # Fresh, so no tick downloads the lists.
            (agent.list_folder / "firm_version_info.txt").write_text(LIST)
            agent.start()
            try:
                assert agent.tick_until(lambda: server.requests("/appchk.php"))
                bed.remove_device(deck)
                assert agent.wait_stderr("onDeviceChange Device Count prev=1 cur=0")
                assert server.requests("/dot.php") == []
                gate_answers.touch()
                # The watch works on its own copy of the device list: the report names the unit gone.
                (beacon,) = wait_until(lambda: server.requests("/dot.php"), timeout=15)
                assert "&p01=Deck%20Unit%202%2F1.23%2FA1%20B2&p02=SDJP&p03=" in beacon["query"]

                applications[0].kill()
                applications[0].wait()
                server.set_routes({"/appchk.php": GATE, "/dot.php": {"body": "ok", "stall_after": 1}})
                bed.add_device(**DECK)
                assert wait_until(lambda: len(launches(record)) == 2)
                applications.append(start_application(tmp_path / "apps", "Traktor"))
                assert agent.tick_until(lambda: len(server.requests("/dot.php")) == 2)
                # A stop while the beacon waits for the rest of its reply ends the agent within the
                # service manager's 10 s, and that report stays for the resend.
                assert agent.stop() == 0
                saved = plistlib.loads(agent.preferences.read_bytes())
                assert (saved["appConnected"], saved["doesSend"]) == ("Traktor", 0)
            finally:
                agent.kill()
            assert bed.errors() == []
    finally:
        for application in applications:
            application.kill()
            application.wait()
        server.close()

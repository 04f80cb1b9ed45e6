"""The real tidewelld reporting a DJ application used with a vendor device."""
import plistlib
import re
import time
import urllib.parse

from tidewell_e2e import Agent, StubServer, start_application, wait_until
from usbbed import UsbTestbed

SITE = "135790"


def test_running_application_with_a_device_gives_one_beacon_and_a_stop_mid_reply_saves_the_next(tmp_path):
    server = StubServer(tmp_path / "analytics", {"/appchk.php": {"body": '{"measurement": 1}'},
                                                 "/dot.php": {"status": 200, "body": "ok"}}, tls="ca")
    application = start_application(tmp_path / "apps", "Serato DJ Pro")
    later = None
    try:
        with UsbTestbed() as bed:
            bed.add_device(product_id=0x1234, release=0x0123, product="Deck Unit 2",
                           manufacturer="Quenlar", serial="A1 B2")
            env = dict(bed.env(), CURL_CA_BUNDLE=server.ca_file, TIDEWELL_ANALYTICS_SITE=SITE,
                       TIDEWELL_ANALYTICS_HOST=f"127.0.0.1:{server.port}")
            agent = Agent(tmp_path / "home", env=env).start()
            try:
                assert agent.wait_log("SDJP start time = ", timeout=40)
                beacons = wait_until(lambda: server.requests("/dot.php"), timeout=10)
                assert beacons and len(beacons) == 1
                gate = server.requests("/appchk.php")
                assert [g["query"] for g in gate] == [f"site_id={SITE}"]

                # The host lines come before the log folder exists: the system log has them.
                system_log = agent.stderr()
                uuid, processor = re.search(r"Mac Name   = (\S+) (.*)\n", system_log).groups()
                version = re.search(r"Mac Serial = (.*)\n", system_log).group(1)
                started = re.search(r"SDJP start time = (.*)\n", agent.log()).group(1)
                assert re.fullmatch(r"[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}", uuid)

                query = beacons[0]["query"]
                assert [pair.split("=", 1)[0] for pair in query.split("&")] == [
                    "ktr_site", "ktr_uid", "__appver", "__ip", "localdate", "ktr_url", "action",
                    "p01", "p02", "p03"]
                params = dict(pair.split("=", 1) for pair in query.split("&"))
                assert params["ktr_site"] == SITE
                assert params["ktr_uid"] == uuid
                assert params["__appver"] == "291"
                assert params["__ip"] == "1"
                assert re.fullmatch(r"\d{14}", params["localdate"])
                assert params["ktr_url"] == "tidewellPCMAC"
                assert params["action"] == "appInfo"
                assert params["p01"] == "Deck%20Unit%202%2F1.23%2FA1%20B2"
                assert params["p02"] == "SDJP"
                assert params["p03"] == started
                assert re.fullmatch(r"\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d\([+-]\d{4}\)",
                                    urllib.parse.unquote(params["p03"]))
                assert beacons[0]["headers"]["User-Agent"] == \
                    f"Deck Unit 2 FirmwareUpdate/{version}/{processor}"

                # Sent, so nothing was saved for a resend.
                preferences = agent.library / "Preferences" / "com.quenlar.Fetchwick.plist"
                assert not preferences.exists()

                # A stop while the next beacon waits for the rest of its reply ends the agent
                # well within the service manager's 10 s, and that report stays for the resend.
                server.set_routes({"/appchk.php": {"body": '{"measurement": 1}'},
                                   "/dot.php": {"body": "ok", "stall_after": 1}})
                later = start_application(tmp_path / "apps", "Traktor")
                assert wait_until(lambda: len(server.requests("/dot.php")) == 2, timeout=30)
                signalled = time.monotonic()
                assert agent.stop(timeout=10) == 0
                assert time.monotonic() - signalled < 10
                saved = plistlib.loads(preferences.read_bytes())
                assert (saved["appConnected"], saved["doesSend"]) == ("Traktor", 0)
            finally:
                agent.kill()
            assert bed.errors() == []
    finally:
        for started in filter(None, (application, later)):
            started.kill()
            started.wait()
        server.close()

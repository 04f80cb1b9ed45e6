#!/usr/bin/python3
"""The main job of Tidewell, on this machine alone.

    umockdev-wrapper /usr/bin/python3 demo/demo.py build

Runs the programs of a build folder: the real agent with a temporary HOME against a list
server and an analytics stand-in on 127.0.0.1 (HTTPS, with a CA of the demo's own), the
real downloader it starts on a display and a session bus of the demo's own, where a
stand-in notification service records what it is told, and the tidewell command. It plugs
in emulated Quenlar devices, starts a stand-in DJ application, and prints step by step
what happened. It ends by itself within a minute, stops every process it started
and removes its temporary folder, the only place it writes to. Exit status 0 when every
step was seen, 1 when one was not.
"""
import contextlib
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
from pathlib import Path

sys.dont_write_bytecode = True
from desktop import Desktop  # noqa: E402
from tidewell_world import (LIST_PATH, Agent, StubServer, list_routes, make_certs, start_application,  # noqa: E402
                            wait_until)
from usbbed import UsbTestbed  # noqa: E402

PACKAGES = "https://fw.quenlar.example/packages/"
FIRMWARE_LIST = ("FormatVersion:091\n"
                 f"Deck Unit 2,124,mac,{PACKAGES}deck-unit-2-124.bin\n"
                 f"Mixer M-4,110,mac,{PACKAGES}mixer-m-4-110.bin\n"
                 f"Tidewell,100,mac,{PACKAGES}tidewell-100.pkg\n")
TARGET_LIST = "FormatVersion:091\nMixer M-4,14972,8192\n"
GATE_REPLY = '{"measurement": 1}'
DECK = dict(product_id=0x1234, release=0x0123, product="Deck Unit 2", manufacturer="Quenlar", serial="DU2-0042")
MIXER = dict(product_id=0x2000, release=0x0105, product="Mixer M-4", manufacturer="Quenlar", serial="MX4-0007")
DECK_NOTICE = ("Updates available", "Deck Unit 2: firmware 1.24 is available (installed 1.23)")
DECK_SHOWN = "Deck Unit 2, serial DU2-0042: firmware 1.23, latest 1.24: update due"
DJ_APPLICATION = "spindrel"
BUNDLE = "Quenlar/Tidewell/Fetchwick.app/Contents"
TIME_LIMIT = 55


class DemoFailed(Exception):
    pass


class Show:
    """Step headings and indented detail lines; paths under the demo's HOME as ~."""

    def __init__(self, home):
        self.home = str(home)
        self.started = time.monotonic()
        self.step = 0

    def short(self, text):
        return str(text).replace(self.home + "/", "~/")

    def heading(self, text):
        self.step += 1
        print(f"\n[{self.step}] {self.short(text)}", flush=True)

    def line(self, text="", indent=4):
        print(" " * indent + self.short(text), flush=True)

    def text(self, contents, indent=6):
        for row in contents.splitlines():
            self.line(f"| {row}", indent)

    def elapsed(self):
        return time.monotonic() - self.started


def without_stamp(row):
    """A log file line without its "[date][level] " stamp."""
    return row.split("] ", 1)[-1].strip() if row.startswith("[") else row


def expect(value, failure):
    if not value:
        raise DemoFailed(failure)
    return value


class Road:
    """The demo's steps, in order; each waits for what the agent should do and checks it."""

    def __init__(self, folder, show, cleanup, build):
        self.folder = folder
        self.show = show
        self.cleanup = cleanup
        self.build = build
        self.applications = build / "Applications"
        self.fetchwick = self.applications / BUNDLE / "MacOS/Fetchwick"

    def start_servers(self):
        """The list server and the analytics stand-in, with certificates of one demo CA."""
        self.show.heading("A CA of the demo's own and two HTTPS servers on 127.0.0.1 that it signed")
        tls = self.folder / "tls"
        tls.mkdir()
        make_certs(tls)
        servers = []
        for name, routes in (("list-server", list_routes({"body": FIRMWARE_LIST}, {"body": TARGET_LIST})),
                             ("analytics", {"/appchk.php": {"body": GATE_REPLY}, "/dot.php": {"body": "ok"}})):
            (self.folder / name).mkdir()
            for file in ("ca.pem", "server.pem", "server.key"):
                shutil.copy(tls / file, self.folder / name / file)
            servers.append(StubServer(self.folder / name, routes, tls="ca"))
            self.cleanup.callback(servers[-1].close)
        self.lists, self.analytics = servers
        self.show.line(f"list server  {self.lists.url('')}  serves {LIST_PATH}firm_version_info.txt"
                       " and tar_product_info.txt")
        self.show.line(f"analytics    {self.analytics.url('')}  its send gate answers {GATE_REPLY}")

    def start_desktop(self):
        self.show.heading("A display and a session bus of the demo's own, for the downloader")
        self.desktop = Desktop(self.folder / "desktop")
        self.cleanup.callback(self.desktop.close)
        self.notifications = self.desktop.notification_service()
        self.cleanup.callback(self.notifications.close)
        socket = self.desktop.env["DBUS_SESSION_BUS_ADDRESS"].split(",")[0]
        self.show.line(f"Xvfb on DISPLAY={self.desktop.env['DISPLAY']}, a dbus-daemon of its own at {socket}")
        self.show.line("on that bus, a stand-in notification service (python3-dbusmock) records each notification")

    def start_agent(self):
        self.show.heading("Starting the real tidewelld")
        self.bed = self.cleanup.enter_context(UsbTestbed())
        # The downloader it starts inherits its environment: the demo's display and buses.
        env = dict(self.bed.env(), **self.desktop.env, TIDEWELL_APPLICATIONS_DIR=str(self.applications),
                   CURL_CA_BUNDLE=self.lists.ca_file, TIDEWELL_ANALYTICS_HOST=f"127.0.0.1:{self.analytics.port}")
        self.agent = Agent(self.show.home, env=env, lists_base=self.lists.url("")).start()
        self.cleanup.callback(self.agent.kill)
        # Started by the agent, the downloader stays until its notification is clicked.
        self.cleanup.callback(self.stop_downloaders)
        self.show.line(f"pid {self.agent.process.pid}, HOME={self.show.home}")
        # Nothing else of the caller's shell (DO_NOT_TRACK, a proxy) reaches it.
        self.show.line(f"its environment, the demo's own: {' '.join(sorted(self.agent.environment))}")
        self.show.line("list URLs from the override files in ~/.local/share/Quenlar/:")
        for name in ("FwUpInfoURL.txt", "TarProductURL.txt"):
            self.show.line(f"{name:18} {(self.agent.list_folder / name).read_text().strip()}", 6)
        self.version = plistlib.loads((self.applications / BUNDLE / "info.plist").read_bytes())["CFBundleVersion"]
        self.show.line(f"downloader: the real Fetchwick {self.version} in {self.applications}")
        expect(self.agent.wait_stderr("main Device Count prev=0 cur=0", 15), "the agent did not finish starting")
        self.show.line("no Quenlar device connected yet")

    def fetch_lists(self):
        self.show.heading("The lists fetched at the first tick")
        expect(self.agent.wait_log("CollectVariousList Result fw=0 pl=0", 15), "the lists were not downloaded")
        for request in self.lists.requests():
            self.show.line(f"{request['method']} {request['path']}")
        for name in ("firm_version_info.txt", "tar_product_info.txt"):
            self.show.line(f"saved as ~/.local/share/Quenlar/{name}:")
            self.show.text((self.agent.list_folder / name).read_text())
        self.show.line(f"the list's Tidewell row (1.0) does not order after the installed downloader's {self.version}:"
                       " no self-update due")

    def plug_in(self):
        self.show.heading("Plugging in two emulated Quenlar devices (USB vendor 0x3a7c)")
        self.show.line("Deck Unit 2  product 0x1234  firmware 1.23  (the list has 1.24)")
        self.show.line("Mixer M-4    product 0x2000  firmware 1.05  (on the target list, to be left out)")
        self.bed.add_device(**MIXER)
        self.bed.add_device(**DECK)
        expect(self.agent.wait_stderr("onDeviceChange Device Count prev=0 cur=1", 15),
               "the agent did not see the device")
        self.show.line("the agent rescanned; its device list after leaving out the target list's products:")
        scan = self.agent.log().splitlines()
        last = max(i for i, row in enumerate(scan) if row.endswith("after process."))
        for row in scan[last + 1:]:
            if row.endswith("----"):
                break
            self.show.line(without_stamp(row), 6)

    def downloaders(self):
        """The running downloaders started with this demo's hand-off file: process id, arguments."""
        hand_off = str(self.agent.support_folder / "firm_version_up.txt")
        found = {}
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                # A process that has ended, a zombie included, has an empty command line.
                argv = [os.fsdecode(part) for part in (entry / "cmdline").read_bytes().split(b"\0")[:-1]]
            except OSError:
                continue
            if argv and argv[0] == str(self.fetchwick) and argv[-1] == hand_off:
                found[int(entry.name)] = argv
        return found

    def stop_downloaders(self):
        for pid in self.downloaders():
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGTERM)
        if not wait_until(lambda: not self.downloaders()):
            for pid in self.downloaders():
                with contextlib.suppress(ProcessLookupError):
                    os.kill(pid, signal.SIGKILL)

    def firmware_path(self):
        self.show.heading("The firmware path: hand-off file and the real downloader")
        running = expect(wait_until(self.downloaders), "the downloader was not started")
        hand_off = self.agent.support_folder / "firm_version_up.txt"
        expect(list(running.values()) == [[str(self.fetchwick), "-f ", str(hand_off)]],
               f"unexpected downloader start: {running}")
        (pid, argv), = running.items()
        self.show.line(f"{hand_off}:")
        self.show.text(hand_off.read_text())
        expect(hand_off.read_text() == f"Deck Unit 2,1.23,1.24,{PACKAGES}deck-unit-2-124.bin\n",
               "the hand-off file does not name the Deck Unit 2 update")
        self.show.line(f"the downloader runs as pid {pid}, started as (/proc/{pid}/cmdline, each argument quoted):")
        self.show.line(" ".join(repr(argument) for argument in argv), 6)
        # A downloader that finds no network route leaves at once, as it does for a user.
        expect(wait_until(lambda: self.notifications.notified() or not self.downloaders(), 20),
               "the downloader sent no notification")
        notified = expect(self.notifications.notified(), "the downloader left without a notification: it says"
                          " \"no network\" and leaves on a machine without a network route")
        self.show.line("the one notification it sent, as the notification service received it:")
        for summary, body in notified:
            self.show.line(f"summary  {summary}", 6)
            self.show.text(body, 6)
        expect(notified == [DECK_NOTICE], "the notification does not name the Deck Unit 2 update")
        self.show.line("it stays until the notification is clicked: the demo ends it with SIGTERM, as a session's end"
                       " does")
        self.stop_downloaders()

    def devices(self):
        self.show.heading("What the agent knows: tidewell devices")
        self.show.line("run with the agent's HOME and folders, on the emulated bus; it scans the bus as the agent does")
        shown = subprocess.run([str(self.build / "bin/tidewell"), "devices"], env=self.agent.environment,
                               stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30)
        self.show.text(shown.stdout + shown.stderr)
        expect(shown.returncode == 0 and DECK_SHOWN in shown.stdout.splitlines(),
               "tidewell devices does not show the Deck Unit 2 with its update due")

    def usage_path(self):
        self.show.heading(f"The usage path: a stand-in DJ application \"{DJ_APPLICATION}\" starts")
        started = time.monotonic()
        application = start_application(self.folder / "apps", DJ_APPLICATION)
        self.cleanup.callback(application.wait)
        self.cleanup.callback(application.kill)
        self.show.line("the application watch looks every tenth tick (first at tick 11) ...")
        # Another DJ application running on this machine gets beacons of its own: wait for ours.
        beacon = expect(wait_until(lambda: [request for request in self.analytics.requests("/dot.php")
                                            if f"p02={DJ_APPLICATION}" in request["query"]], 25),
                        "no usage beacon naming the application arrived")[0]
        gate = self.analytics.requests("/appchk.php")[0]
        self.show.line(f"after {time.monotonic() - started:.0f} s: send gate asked (GET /appchk.php?{gate['query']}),"
                       " then the beacon arrived:")
        self.show.line("GET /dot.php with", 6)
        for pair in beacon["query"].split("&"):
            key, _, value = pair.partition("=")
            self.show.line(f"{key:10} = {urllib.parse.unquote(value)}", 8)
        self.show.line(f"User-Agent: {beacon['headers'].get('User-Agent')}", 6)

    def stop_agent(self):
        self.show.heading("Stopping the agent with SIGTERM")
        # The server logs a request as it arrives. SIGTERM ends a transfer under way, and
        # the agent would keep the report for a resend: let it read the beacon's reply.
        time.sleep(1)
        status = self.agent.stop()
        self.show.line(f"exit status {status}")
        expect(status == 0, "the agent did not stop cleanly")
        expect(not self.bed.errors(), f"the emulated devices reported errors: {self.bed.errors()}")

        self.show.heading("The agent's log file, ~/.local/state/Quenlar/Tidewell.log")
        self.show.text(self.agent.log())
        self.show.line("and the notices it writes only to the system log (standard error, kept by journald):")
        # Standard error repeats every log file line too; those carry the "[date][level]" stamp.
        self.show.text("\n".join(row for row in self.agent.stderr().splitlines() if "][" not in row))

    def run(self):
        for step in (self.start_servers, self.start_desktop, self.start_agent, self.fetch_lists, self.plug_in,
                     self.firmware_path, self.devices, self.usage_path, self.stop_agent):
            step()


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} <build folder>")
    build = Path(sys.argv[1]).resolve()
    os.environ["TIDEWELLD"] = str(build / "bin/tidewelld")
    folder = Path(tempfile.mkdtemp(prefix="tidewell-demo-"))
    home = folder / "home"
    show = Show(home)

    def give_up(signum, frame):
        raise DemoFailed("stopped by a signal" if signum != signal.SIGALRM else "it took too long")

    signal.signal(signal.SIGTERM, give_up)
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(TIME_LIMIT)
    print("Tidewell demo: the firmware and usage paths, on this machine alone")
    print(f"    everything lives in {folder} and is removed at the end")
    status = 0
    try:
        # Every process the demo starts is stopped on the way out, last started first.
        with contextlib.ExitStack() as cleanup:
            try:
                Road(folder, show, cleanup, build).run()
            finally:
                signal.alarm(0)
    except (DemoFailed, KeyboardInterrupt) as failure:
        print(f"\nThe demo stopped: {failure or 'interrupted'}", flush=True)
        status = 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print(f"\nDone in {show.elapsed():.0f} s: stopped every process the demo started and removed {folder}.")
    return status


if __name__ == "__main__":
    sys.exit(main())

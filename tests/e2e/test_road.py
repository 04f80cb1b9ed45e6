"""The demo a newcomer runs first: the whole road end to end, leaving nothing behind (its own alarm keeps it
within a minute)."""
import os
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path

from tidewell_world import PYTHON, wait_until

DEMO = Path(os.environ["TIDEWELL_SOURCE_DIR"]) / "demo" / "demo.py"


def test_demo_shows_both_paths_within_a_minute_and_leaves_nothing_behind(tmp_path):
    home = tmp_path / "home"
    home.mkdir()
    # Short: the emulated bus keeps its sockets in a folder here.
    temp = Path(tempfile.mkdtemp(prefix="tw"))
    # A shell that says no to usage reports, sends transfers through a proxy, keeps its files
    # elsewhere and has no desktop: the demo's agent lives in a world of its own, and still reports.
    shell = {"DO_NOT_TRACK": "1", "https_proxy": "http://127.0.0.1:9", "ALL_PROXY": "http://127.0.0.1:9",
             "DISPLAY": "", "DBUS_SESSION_BUS_ADDRESS": f"unix:path={temp}/no-bus",
             **{f"XDG_{kind}_HOME": str(home / kind) for kind in ("CONFIG", "DATA", "STATE")}}
    demo = subprocess.Popen([PYTHON, str(DEMO), os.environ["TIDEWELL_BUILD_DIR"]], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, start_new_session=True,
                            env=dict(os.environ, HOME=str(home), TMPDIR=str(temp), **shell))
    try:
        output, _ = demo.communicate(timeout=90)
        session = ["pgrep", "-s", str(demo.pid)]
        gone = wait_until(lambda: subprocess.run(session, capture_output=True).returncode == 1, timeout=5)
        left_in_temp = gone and list(temp.iterdir())
    finally:
        if demo.poll() is None:
            os.killpg(demo.pid, signal.SIGKILL)
            demo.wait()
        shutil.rmtree(temp, ignore_errors=True)
    assert demo.returncode == 0, output

    assert left_in_temp == []
    assert list(home.iterdir()) == []

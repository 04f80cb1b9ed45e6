"""The uninstaller's restart request against a mocked logind on a private system bus."""
import os
import subprocess

import pytest

from private_bus import PrivateSystemBus

PROBE = os.environ["RESTART_PROBE"]


@pytest.fixture
def bus(tmp_path):
    with PrivateSystemBus(tmp_path / "bus") as private:
        yield private


def test_one_reboot_true_reaches_logind(bus):
    env = bus.env()
    bus.check(env)
    run = subprocess.run([PROBE], env=env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert "Failed" not in run.stderr
    # The probe exits right after sending: only a flushed message gets here.
    assert bus.reboot_calls() == ["True"]


def test_probe_refuses_any_other_bus(bus, tmp_path):
    env = bus.env()
    env["DBUS_SYSTEM_BUS_ADDRESS"] = f"unix:path={tmp_path}/elsewhere"
    run = subprocess.run([PROBE], env=env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 77
    assert bus.reboot_calls() == []

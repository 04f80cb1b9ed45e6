"""The shipped removal script on an installation in temporary folders."""
import subprocess

import pytest

from conftest import AGENT_FILES, OTHER_FILES, SCRIPT


@pytest.mark.parametrize("locked, refusal, others", [
    (False, None, True),   # the user's own files; folders that hold other files stay
    (False, None, False),  # ~/Library goes once nothing else is in it
    (True, None, True),    # what needs rights goes at one prompt
    (True, 126, False),    # a dismissed or refused prompt changes nothing
])
def test_removes_the_installation_and_nothing_else(installed, locked, refusal, others):
    foreign = installed.make_foreign() if locked else []
    for relative in [] if others else OTHER_FILES:
        (installed.home / relative).unlink()
    if refusal:
        installed.env["PKEXEC_EXIT"] = str(refusal)
    run = subprocess.run(["/bin/sh", str(SCRIPT)], env=installed.env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines()[-1] == ("9" if refusal else "0")

    assert installed.agent_files_left() == (AGENT_FILES if refusal else [])
    assert installed.downloader.exists() == bool(refusal)
    # One authorisation, for exactly what needs rights.
    assert [call.startswith("/bin/sh -c ") and call.endswith(" sh " + " ".join(map(str, foreign)))
            for call in installed.calls("pkexec")] == [True] * locked
    assert installed.calls("systemctl") == ([] if refusal else ["--user disable --now tidewelld.service",
                                                                "--user daemon-reload"])
    assert installed.neighbour.exists() and (installed.home / ".config/systemd/user").is_dir()
    assert all((installed.home / relative).exists() == others for relative in OTHER_FILES)
    assert (installed.home / "Library/Application Support").exists() == bool(refusal)
    assert (installed.home / "Library").exists() == (others or bool(refusal))

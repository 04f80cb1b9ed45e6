"""The shipped removal script on an installation in temporary folders."""
import subprocess

import pytest

from removal_env import AGENT_FILES, OTHER_FILES, SCRIPT, Installation


@pytest.fixture
def installed(tmp_path):
    installation = Installation(tmp_path)
    yield installation
    installation.release()


def run_script(env):
    run = subprocess.run(["/bin/sh", str(SCRIPT)], env=env, capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    return run.stdout.splitlines()[-1]


def test_removes_the_users_installation_only(installed):
    assert run_script(installed.env()) == "0"
    assert installed.agent_files_left() == []
    assert not installed.downloader.exists()
    assert installed.calls("systemctl") == ["--user disable --now tidewelld.service", "--user daemon-reload"]
    assert installed.calls("pkexec") == []
    for relative in OTHER_FILES:
        assert (installed.home / relative).exists(), relative
    assert installed.neighbour.exists()
    assert not (installed.home / "Library/Application Support").exists(), "emptied folders go"
    assert (installed.home / "Library/Preferences").exists(), "folders holding other files stay"

    for relative in OTHER_FILES:
        (installed.home / relative).unlink()
    assert run_script(installed.env()) == "0"
    assert not (installed.home / "Library").exists()
    assert (installed.home / ".config/systemd/user").is_dir(), "no other folder goes"


def test_foreign_files_are_removed_with_rights_at_one_prompt(installed):
    foreign = installed.make_foreign()
    assert run_script(installed.env()) == "0"
    [call] = installed.calls("pkexec")
    assert call.startswith("/bin/sh -c ") and call.endswith(" sh " + " ".join(map(str, foreign)))
    assert not installed.downloader.exists()
    assert installed.agent_files_left() == []


@pytest.mark.parametrize("refusal", [126, 127])
def test_refused_authentication_prints_9_and_changes_nothing(installed, refusal):
    installed.make_foreign()
    assert run_script(installed.env(pkexec_exit=refusal)) == "9"
    assert len(installed.calls("pkexec")) == 1
    assert installed.downloader.exists()
    assert installed.calls("systemctl") == []
    assert installed.agent_files_left() == AGENT_FILES

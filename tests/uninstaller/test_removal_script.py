"""The real uninstaller under Xvfb, run by nobody on an installation beside files of other programs and users and
answered through the accessibility bus; root runs the helper for it."""
import os
import shutil
import signal
import subprocess

import pytest

from conftest import AGENT_FILES, AGENT_FOLDERS, NOBODY, OTHER_FILES, PACKAGE_ID, ROOT, STRINGS, uninstall

SOMEONE = 1000  # another user of the machine
PKEXEC_ANSWERS = {"the administrator refuses, to a program that inherits SIGCHLD ignored": "refused",
                  "the prompt is dismissed": "dismissed", "no authentication agent": "no agent"}


def move_away(path, owner, link_owner=None):
    """Moves path into ROOT/elsewhere, gives it to owner and leaves a symlink of link_owner's in its place."""
    shutil.move(path, ROOT / "elsewhere" / path.name)
    subprocess.run(["chown", "-hR", f"{owner}:{owner}", ROOT / "elsewhere" / path.name], check=True)
    if link_owner is not None:
        path.symlink_to(ROOT / "elsewhere" / path.name)
        os.lchown(path, link_owner, link_owner)


def twist(installed, how):
    """Puts part of the installation out of the user's hands; returns the environment that needs."""
    (ROOT / "elsewhere").mkdir()
    if how.startswith("the package holds the downloader"):
        installed.package(None if "no package service" in how else "no" if "refuses" in how else "yes")
    elif how == "the user's Library is a symlink to someone else's":
        move_away(installed.home / "Library", SOMEONE, NOBODY)
    elif how == "the configuration folder is root's":
        move_away(installed.home / ".config", 0)
        return {"XDG_CONFIG_HOME": str(ROOT / "elsewhere/.config")}
    elif how == "the applications folder leads through a symlink":
        move_away(installed.downloader.parent, 0, 0)
    elif how == "a folder on the way to the downloader is writable by others":
        (installed.applications / "Quenlar").chmod(0o757)
    elif how == "a foreign file in the user's own folder":
        os.chown(installed.home / ".local/state/Quenlar/firm_version_up.txt", SOMEONE, SOMEONE)
    elif how in PKEXEC_ANSWERS:
        return {"PKEXEC_ANSWER": PKEXEC_ANSWERS[how]}
    elif how == "the helper is missing":
        installed.helper.unlink()
    elif how == "the user is not at the seat":
        (installed.logs / "seat").write_text(str(SOMEONE))
    return {}


# Why a removal with rights failed, in the log.
SAID = {"no authentication agent": "exit status 127: Error executing command as another user: No authentication agent",
        "the helper is missing": "remove-downloader: No such file or directory; no administrator was asked",
        "the package holds the downloader; no package service": "The package tidewell stays installed: "
        "CreateTransaction: org.freedesktop.DBus.Error.ServiceUnknown"}


# result None: the confirmation is answered with Cancel.
@pytest.mark.parametrize("how, own_downloader, others, result", [
    ("", False, True, None),  # nothing changes
    ("", True, False, 0),     # the user's own downloader too, and the folders left empty
    ("", False, False, 0),    # the downloader, root's, goes at one prompt, and its parents left empty
    ("the administrator refuses, to a program that inherits SIGCHLD ignored", False, True, 9),  # nothing changes
    ("the prompt is dismissed", False, True, 9),
    ("no authentication agent", False, True, 25),  # nobody was asked: the user's own files go
    ("the helper is missing", False, True, 25),  # nobody is asked
    ("the package holds the downloader", False, True, 0),  # its service removes it, with a prompt of its own
    ("the package holds the downloader; the administrator refuses", False, True, 9),
    ("the package holds the downloader; no package service", False, True, 25),  # the user's files go, the package stays
    ("the user is not at the seat", False, True, 0),  # logind refuses the restart; the log says why
    ("the user's Library is a symlink to someone else's", True, True, 25),
    ("the configuration folder is root's", True, True, 25),
    ("the applications folder leads through a symlink", False, True, 25),  # the helper refuses
    ("a folder on the way to the downloader is writable by others", False, True, 25),  # the helper refuses
    ("a foreign file in the user's own folder", True, True, 25),
])
def test_removes_the_users_files_and_as_root_the_downloader_alone(installed, session, how, own_downloader, others,
                                                                  result):
    if own_downloader:
        subprocess.run(["chown", "-hR", f"{NOBODY}:{NOBODY}", installed.applications], check=True)
    env = twist(installed, how)
    for path in [] if others else [installed.home / relative for relative in OTHER_FILES] + [installed.neighbour]:
        shutil.rmtree(path) if path.is_dir() else path.unlink()
    before = installed.files()
    log, dialogs = uninstall(installed, session, STRINGS["Restart" if result is not None else "Cancel"],
                             signal.SIG_IGN if "SIGCHLD ignored" in how else signal.SIG_DFL, **env)

    # What is not the user's survives, but the downloader's bundle, the user's own or root's at a granted prompt;
    # the user's own files of the installation go, with the folders they leave empty.
    ran = result not in (None, 9)
    mine = {installed.home / relative for relative in AGENT_FILES}
    goes = {path for path, owner in before.items() if ran and (owner == NOBODY and path in mine or path.is_relative_to(
        installed.downloader) and (own_downloader or result == 0))}
    assert {path for path in before if os.path.lexists(path)} == set(before) - goes
    tops = [installed.home / top for top in ("Library", *(folders[0] for folders in AGENT_FOLDERS))]
    assert [folder for top in tops + [installed.applications / "Quenlar"]
            for folder, folders, files in os.walk(top) if not folders + files] == []
    # One prompt, for the helper alone, where the downloader is root's and the helper there; none for the user's files.
    asked = not own_downloader and result is not None and how != "the helper is missing" and "package" not in how
    assert installed.calls("pkexec") == [str(installed.helper)] * asked
    assert installed.calls("packagekit") == [f"RemovePackages {PACKAGE_ID}"] * (
        how == "the package holds the downloader")
    assert SAID.get(how, "") in log, log
    assert installed.calls("systemctl") == ["--user disable --now tidewelld.service", "--user daemon-reload"] * ran
    # An error number but for 0; the script's result; a restart but after 9, which logind grants the seat's user alone.
    seated = how != "the user is not at the seat"
    denied = "Failed to send AppleEvent, err = -13 (org.freedesktop.DBus.Error.AccessDenied: Permission denied)\n"
    assert (f"] {result}\n" in log, installed.calls("logind"), denied in log) == (
        ran, ["Reboot True"] * (ran and seated), ran and not seated), log
    # The dialogs as a screen reader reads them; the package's command where the package stays.
    by_hand = f"\n{STRINGS['[ERR]RemovePackage']}\nsudo apt remove tidewell" * how.endswith("no package service")
    assert dialogs == [{"texts": [STRINGS["NeedsRestart"]], "buttons": [STRINGS["Restart"], STRINGS["Cancel"]]}] + [
        {"texts": [STRINGS["[ERR]Finish"], f"{result}{by_hand}"], "buttons": [STRINGS["Finish"]]}] * (
        result not in (None, 0))


@pytest.mark.parametrize("arguments, change, status, complaint", [
    (["--all"], None, 25, "the caller's argument is not taken"),
    ([], "gone", 0, ""),  # nothing to do
    # Root never descends into what leads elsewhere or what others could have filled; it removes nothing then.
    ([], "a folder bound inside", 25, "Fetchwick.app/Contents/MacOS lies on another device or mount than the bundle"),
    ([], "someone's folder moved into one left writable", 25, "Fetchwick.app/Contents is writable by group or others"),
])
def test_the_helper_alone(installed, arguments, change, status, complaint):
    contents = installed.downloader / "Contents"
    if change == "gone":
        shutil.rmtree(installed.downloader)
    elif change == "a folder bound inside":
        (ROOT / "elsewhere/MacOS").mkdir(parents=True)
        (ROOT / "elsewhere/MacOS/kept").write_text("x")
        subprocess.run(["mount", "--bind", ROOT / "elsewhere/MacOS", contents / "MacOS"], check=True)
    elif change:
        (contents / "Plugins").mkdir()
        (contents / "Plugins/theirs").write_text("x")
        subprocess.run(["chown", "-R", f"{SOMEONE}:{SOMEONE}", contents / "Plugins"], check=True)
        contents.chmod(0o777)
    before = sorted(installed.downloader.rglob("*"))
    run = subprocess.run([installed.helper, *arguments], env={}, capture_output=True, text=True)
    said = f"{complaint}; nothing removed\n" if complaint else ""
    assert (run.returncode, said in run.stderr, bool(run.stderr)) == (status, True, bool(complaint)), run.stderr
    assert sorted(installed.downloader.rglob("*")) == before
    assert installed.downloader.exists() == (change != "gone")

"""What `cmake --install` and the Debian package put on a machine: both programs, the systemd user
unit naming the installed agent, the udev rule, the uninstaller's menu entry, strings, its removal helper with
the polkit action naming it, and the documentation."""
import os
import plistlib
import re
import shlex
import subprocess
from pathlib import Path

import pytest

BUILD = Path(os.environ["TIDEWELL_BUILD_DIR"])
CACHE = (BUILD / "CMakeCache.txt").read_text()
WITH_UNINSTALLER = "TIDEWELL_BUILD_UNINSTALLER:BOOL=ON" in CACHE
AGENT, UNIT = "libexec/tidewelld", "lib/systemd/user/tidewelld.service"
BUNDLE = "libexec/tidewell/Tidewell Uninstaller.app/Contents"
UNINSTALLER, MENU_ENTRY = BUNDLE + "/MacOS/uninstaller", "share/applications/com.quenlar.TidewellUninstaller.desktop"
HELPER, POLICY = "libexec/tidewell/remove-downloader", "share/polkit-1/actions/com.quenlar.tidewell.policy"
LANGUAGES = ("en", "de", "fr")
METAINFO = "share/metainfo/com.quenlar.Tidewell.metainfo.xml"
FILES = {AGENT, UNIT, "lib/udev/rules.d/70-quenlar-usb.rules", "share/doc/tidewell/copyright",
         "share/man/man8/tidewelld.8.gz", "share/man/man1/tidewell.1.gz", "bin/tidewell", METAINFO}
if WITH_UNINSTALLER:
    FILES |= {UNINSTALLER, MENU_ENTRY, HELPER, POLICY, BUNDLE + "/Info.plist", BUNDLE + "/Resources/Uninstaller.sh",
              "share/man/man1/tidewell-uninstaller.1.gz",
              *(f"{BUNDLE}/Resources/{language}.lproj/Localizable.strings" for language in LANGUAGES)}
# The applications folder the programs were built with: the package's own, below the prefix,
# unless the build names another.
APPLICATIONS = (re.search(r"TIDEWELL_APPLICATIONS_DIR:PATH=(.*)", CACHE)[1]
                or re.search(r"CMAKE_INSTALL_PREFIX:PATH=(.*)", CACHE)[1] + "/lib/tidewell")
# The downloader's bundle, in the applications folder below the prefix (the package's /usr/lib/tidewell).
FETCHWICK = "lib/tidewell/Quenlar/Tidewell/Fetchwick.app/Contents"
if "TIDEWELL_BUILD_FETCHWICK:BOOL=ON" in CACHE:
    FILES |= {FETCHWICK + "/MacOS/Fetchwick", FETCHWICK + "/info.plist"}
# The tests run under umockdev-wrapper; the build tools need none of its preload.
TOOLS_ENV = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True, env=TOOLS_ENV).stdout


def value(path, key):
    return re.search(rf"^{key}=(.*)$", path.read_text(), re.MULTILINE)[1]


def check_policy(path, helper):
    """Valid for polkit, it names the installed helper for pkexec and wants an administrator."""
    run("xmllint", "--noout", "--dtdvalid", "/usr/share/polkit-1/policyconfig-1.dtd", str(path))
    assert re.findall(r">([^<]*)</(?:allow_\w+|annotate)>", path.read_text()) == ["auth_admin"] * 3 + [helper]


def test_install_into_a_temporary_prefix(tmp_path):
    prefix = tmp_path / "a prefix"
    run("cmake", "--install", str(BUILD), "--prefix", str(prefix))

    assert {str(path.relative_to(prefix)) for path in prefix.rglob("*") if not path.is_dir()} == FILES
    assert shlex.split(value(prefix / UNIT, "ExecStart")) == [str(prefix / AGENT)]
    version = re.search(r"CMAKE_PROJECT_VERSION:STATIC=(.*)", CACHE)[1]
    if FETCHWICK + "/info.plist" in FILES:
        assert plistlib.loads((prefix / FETCHWICK / "info.plist").read_bytes())["CFBundleVersion"] == version + ".0"
    assert {"KillMode=process", "WantedBy=default.target", "Documentation=man:tidewelld(8)",
            "ConditionUser=!@system"} <= set((prefix / UNIT).read_text().splitlines())
    # systemd-analyze reports every unknown or malformed setting on standard error, and
    # checks that ExecStart names an executable and that man finds the Documentation page.
    verify = subprocess.run(["systemd-analyze", "--user", "verify", str(prefix / UNIT)], capture_output=True, text=True,
                            env=dict(TOOLS_ENV, XDG_RUNTIME_DIR=str(tmp_path), HOME=str(tmp_path),
                                     MANPATH=str(prefix / "share/man")))
    assert (verify.returncode, verify.stderr) == (0, "")
    # What a software centre shows, and pages that groff formats without a warning.
    run("appstreamcli", "validate", "--no-net", str(prefix / METAINFO))
    for page in prefix.glob("share/man/man*/*.gz"):
        shown = subprocess.run(["man", "--warnings", "-l", str(page)], capture_output=True, text=True,
                               env=dict(TOOLS_ENV, MANWIDTH="80", LC_ALL="C.UTF-8"))
        assert (shown.returncode, shown.stderr) == (0, ""), page
    if WITH_UNINSTALLER:
        assert os.access(prefix / UNINSTALLER, os.X_OK)
        assert shlex.split(value(prefix / MENU_ENTRY, "Exec")) == [str(prefix / UNINSTALLER)]
        check_policy(prefix / POLICY, str(prefix / HELPER))
        default = '${TIDEWELL_APPLICATIONS_DIR:-"%s"}' % APPLICATIONS
        assert default in (prefix / BUNDLE / "Resources/Uninstaller.sh").read_text()
        info = plistlib.loads((prefix / BUNDLE / "Info.plist").read_bytes())
        assert info["CFBundleVersion"] == version
        # Every language holds the keys of the launch flow's alerts; the development region is one of them.
        assert info["CFBundleDevelopmentRegion"] in LANGUAGES
        for language in LANGUAGES:
            table = plistlib.loads((prefix / BUNDLE / f"Resources/{language}.lproj/Localizable.strings").read_bytes())
            assert {"NeedsRestart", "Restart", "Cancel", "[ERR]Finish", "Finish"} <= table.keys(), language


@pytest.mark.skipif(APPLICATIONS != "/usr/lib/tidewell", reason="a package needs a build for the prefix /usr")
def test_debian_package(tmp_path):
    run("cpack", "-G", "DEB", "--config", str(BUILD / "CPackConfig.cmake"), "-B", str(tmp_path / "out"))
    (package,) = (tmp_path / "out").glob("*.deb")

    # "-rwxr-xr-x root/root 4496608 2026-01-01 12:00 ./usr/libexec/tidewelld"; names may hold blanks.
    # udev's folder on Debian 12 is /lib/udev, outside /usr.
    listing = [line.split(None, 5) for line in run("dpkg-deb", "--contents", str(package)).splitlines()]
    files = {re.sub(r"^\./(usr/)?", "", fields[5]) for fields in listing if not fields[0].startswith("d")}
    assert files == FILES | {"share/doc/tidewell/changelog.Debian.gz", "share/lintian/overrides/tidewell"}

    depends = set(re.findall(r"(?:^|, )(\S+) \(", run("dpkg-deb", "--field", str(package), "Depends")))
    assert {"libcurl4", "libicu72", "libplist3", "libusb-1.0-0", "libudev1", "libsystemd0"} <= depends
    assert ("libgtk-3-0" in depends) == WITH_UNINSTALLER
    root = tmp_path / "root"
    run("dpkg-deb", "--extract", str(package), str(root))
    assert value(root / "usr" / UNIT, "ExecStart") == '"/usr/' + AGENT + '"'
    # The agent looks for the downloader in the package's own folder, not in /Applications.
    assert b"/usr/lib/tidewell\0" in (root / "usr" / AGENT).read_bytes()
    if WITH_UNINSTALLER:
        # Root's alone and no set-uid program: it gains rights only through pkexec.
        assert [fields[:2] for fields in listing if fields[5] == "./usr/" + HELPER] == [["-rwxr-xr-x", "root/root"]]
        check_policy(root / "usr" / POLICY, "/usr/" + HELPER)

    control = tmp_path / "control"
    run("dpkg-deb", "--control", str(package), str(control))
    for script, action in (("postinst", "configure"), ("postrm", "remove")):
        assert os.access(control / script, os.X_OK)
        run("sh", "-n", str(control / script))
        assert f'"$1" = {action} ]' in (control / script).read_text()

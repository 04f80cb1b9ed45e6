"""What `cmake --install` and the Debian package put on a machine: both programs, the
systemd user unit naming the installed agent, the udev rule, the uninstaller's menu
entry and the documentation."""
import configparser
import os
import plistlib
import re
import shlex
import subprocess
from pathlib import Path

BUILD = Path(os.environ["TIDEWELL_BUILD_DIR"])
SOURCE = Path(os.environ["TIDEWELL_SOURCE_DIR"])
AGENT = "libexec/tidewelld"
UNIT = "lib/systemd/user/tidewelld.service"
RULE = "lib/udev/rules.d/70-quenlar-usb.rules"
DOCS = {"share/doc/tidewell/copyright", "share/man/man8/tidewelld.8.gz", "share/metainfo/com.quenlar.Tidewell.metainfo.xml"}
PACKAGE_ONLY = {"share/doc/tidewell/changelog.Debian.gz", "share/lintian/overrides/tidewell"}
BUNDLE = "libexec/tidewell/Tidewell Uninstaller.app/Contents"
UNINSTALLER = BUNDLE + "/MacOS/uninstaller"
MENU_ENTRY = "share/applications/com.quenlar.TidewellUninstaller.desktop"


def with_uninstaller():
    return "TIDEWELL_BUILD_UNINSTALLER:BOOL=ON" in (BUILD / "CMakeCache.txt").read_text()


def expected_files():
    files = {AGENT, UNIT, RULE} | DOCS
    if with_uninstaller():
        files |= {UNINSTALLER, MENU_ENTRY, BUNDLE + "/Info.plist", BUNDLE + "/Resources/Uninstaller.sh"}
        files |= {f"{BUNDLE}/Resources/{language}.lproj/Localizable.strings" for language in ("en", "de", "fr")}
    return files


def tools_env():
    """The tests run under umockdev-wrapper; the build tools need none of its preload."""
    return {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, env=tools_env(), **options).stdout


def read_ini(path):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read(path)
    return parser


def check_unit(unit, agent, tmp_path):
    service = read_ini(unit)
    assert shlex.split(service["Service"]["ExecStart"]) == [str(agent)]
    assert service["Service"]["KillMode"] == "process"
    assert service["Install"]["WantedBy"] == "default.target"
    # systemd-analyze reports every unknown or malformed setting on standard error, and
    # checks that ExecStart names an executable.
    runtime = tmp_path / "runtime"
    runtime.mkdir()
    result = subprocess.run(["systemd-analyze", "--user", "verify", str(unit)], capture_output=True, text=True,
                            env=dict(tools_env(), XDG_RUNTIME_DIR=str(runtime), HOME=str(runtime)))
    assert (result.returncode, result.stderr) == (0, "")


def check_menu_entry(entry, uninstaller):
    if not with_uninstaller():
        return
    command = shlex.split(read_ini(entry)["Desktop Entry"]["Exec"])
    assert command == [str(uninstaller)]


def test_install_into_a_temporary_prefix(tmp_path):
    prefix = tmp_path / "a prefix"
    run("cmake", "--install", str(BUILD), "--prefix", str(prefix))

    installed = {str(path.relative_to(prefix)) for path in prefix.rglob("*") if not path.is_dir()}
    assert installed == expected_files()
    assert os.access(prefix / AGENT, os.X_OK)
    assert (prefix / RULE).read_bytes() == (SOURCE / "packaging/linux/70-quenlar-usb.rules").read_bytes()
    check_unit(prefix / UNIT, prefix / AGENT, tmp_path)
    check_menu_entry(prefix / MENU_ENTRY, prefix / UNINSTALLER)
    if with_uninstaller():
        assert os.access(prefix / UNINSTALLER, os.X_OK)
        cache = (BUILD / "CMakeCache.txt").read_text()
        script = (prefix / BUNDLE / "Resources/Uninstaller.sh").read_text()
        applications = re.search(r"TIDEWELL_APPLICATIONS_DIR:PATH=(.*)", cache)[1]
        assert f'${{TIDEWELL_APPLICATIONS_DIR:-"{applications}"}}' in script
        info = plistlib.loads((prefix / BUNDLE / "Info.plist").read_bytes())
        assert info["CFBundleVersion"] == re.search(r"CMAKE_PROJECT_VERSION:STATIC=(.*)", cache)[1]


def test_debian_package(tmp_path):
    run("cpack", "-G", "DEB", "--config", str(BUILD / "CPackConfig.cmake"), "-B", str(tmp_path / "out"))
    (package,) = (tmp_path / "out").glob("*.deb")

    # "-rwxr-xr-x root/root 4496608 2026-01-01 12:00 ./usr/libexec/tidewelld"; names may hold blanks.
    # udev's folder on Debian 12 is /lib/udev, outside /usr.
    listing = [line.split(None, 5) for line in run("dpkg-deb", "--contents", str(package)).splitlines()]
    files = {re.sub(r"^\./(usr/)?", "", fields[5]) for fields in listing if not fields[0].startswith("d")}
    assert files == expected_files() | PACKAGE_ONLY
    assert all(fields[1] == "root/root" for fields in listing)

    depends = run("dpkg-deb", "--field", str(package), "Depends")
    libraries = ["libcurl4", "libicu72", "libplist3", "libusb-1.0-0", "libudev1", "libsystemd0"]
    if with_uninstaller():
        libraries.append("libgtk-3-0")
    for library in libraries:
        assert re.search(rf"(^|, ){re.escape(library)} \(", depends), library

    root = tmp_path / "root"
    run("dpkg-deb", "--extract", str(package), str(root))
    assert read_ini(root / "usr" / UNIT)["Service"]["ExecStart"] == '"/usr/' + AGENT + '"'
    check_menu_entry(root / "usr" / MENU_ENTRY, "/usr/" + UNINSTALLER)

    control = tmp_path / "control"
    run("dpkg-deb", "--control", str(package), str(control))
    for script, action in (("postinst", "configure"), ("postrm", "remove")):
        assert os.access(control / script, os.X_OK)
        run("sh", "-n", str(control / script))
        assert f'"$1" = {action} ]' in (control / script).read_text()

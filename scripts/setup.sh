#!/bin/sh
# Installs the Debian packages that Tidewell needs to build and test, only those missing.
# Runs as root, or through sudo.
set -eu

PACKAGES="
build-essential cmake pkg-config
libcurl4-openssl-dev libicu-dev libplist-dev libre2-dev libusb-1.0-0-dev libudev-dev libsystemd-dev
picojson-dev libgtk-3-dev
libgtest-dev libgmock-dev
python3 python3-pytest python3-gi python3-dbus python3-dbusmock gir1.2-umockdev-1.0 umockdev libumockdev-dev
gir1.2-atspi-2.0 at-spi2-core
dbus xvfb xauth imagemagick openssl systemd faketime libxml2-utils polkitd
clang-14 libclang-rt-14-dev file dpkg-dev lintian udev appstream man-db
pkexec libatk-adaptor
"

missing=""
for package in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $package"
  fi
done

if [ -z "$missing" ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi
echo "Installing:$missing"
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing

#!/bin/sh
# The main job on a fresh Debian 12 machine: installs the Debian packages that are missing,
# builds the agent, the downloader and the command, and runs the demo (demo/demo.py). The
# demo needs no network and no input, ends by itself within a minute and leaves nothing
# behind.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh </dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target tidewelld fetchwick tidewell
# Emulated USB devices live in the demo's umockdev testbed; the wrapper lets its programs see them.
exec umockdev-wrapper /usr/bin/python3 demo/demo.py build </dev/null

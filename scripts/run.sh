#!/bin/sh
# Sets everything up on a fresh Debian 12 machine, builds, and runs the agent in the
# foreground with the current HOME until Ctrl-C... which it ignores, as it should: stop it
# with SIGTERM (kill <pid>) from another terminal.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh </dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
exec build/bin/tidewelld

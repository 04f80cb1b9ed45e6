#!/bin/sh
# Sets everything up, builds a release build in build-bench/ and prints the benchmark
# table (about a minute and a half): idle cost, application watch, device change, start-up.
# Nothing here is part of the test suite.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh </dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_BUILD_TESTS=OFF -DTIDEWELL_BUILD_UNINSTALLER=OFF \
  -DTIDEWELL_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)" --target tidewelld bench_watch bench_usb_floor bench_log >/dev/null
# The device changes run on emulated USB buses, which need the umockdev preload.
exec umockdev-wrapper /usr/bin/python3 bench/run_bench.py build-bench

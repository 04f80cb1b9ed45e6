#!/bin/sh
# Sets everything up on a fresh Debian 12 machine and runs the whole test suite twice:
# a plain build, then a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh </dev/null

jobs=$(nproc)

run_suite() {
  folder=$1
  shift
  cmake -S . -B "$folder" "$@"
  cmake --build "$folder" -j "$jobs"
  ctest --test-dir "$folder" --output-on-failure
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=address,undefined

#!/bin/sh
# Sets everything up on a fresh Debian 12 machine and runs the whole test suite: a plain
# build, a build with AddressSanitizer and UndefinedBehaviorSanitizer, the tests of the
# agent's two threads under ThreadSanitizer, a clang build that checks the locks'
# annotations with a bounded run of every fuzz target, and lintian on the Debian package.
# Each stage builds only what it runs, and says how long it took.
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh </dev/null

jobs=$(nproc)
started=$(date +%s)

stage_done() {
  echo "== $1: $(($(date +%s) - started)) s"
  started=$(date +%s)
}

run_suite() {
  folder=$1
  shift
  cmake -S . -B "$folder" -DTIDEWELL_BUILD_BENCH=OFF "$@"
  cmake --build "$folder" -j "$jobs"
  ctest --test-dir "$folder" --output-on-failure -j "$jobs"
  stage_done "$folder"
}

# The package comes from this build: its programs look for the downloader below /usr.
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=address,undefined

# ThreadSanitizer: the tests labelled tsan, the agent itself end to end and the unit tests
# of more than one thread. The demo among them runs the downloader and the command too.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTIDEWELL_SANITIZE=thread -DTIDEWELL_BUILD_UNINSTALLER=OFF \
  -DTIDEWELL_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target tidewelld tidewell fetchwick test_threads
ctest --test-dir build-tsan --output-on-failure -L tsan -j "$jobs"
stage_done build-tsan

# Fuzzing with libFuzzer (clang): each parser of outside input for a bounded time. Every clang
# build checks the locks' annotations (-Werror=thread-safety): this one builds the agent too.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug \
  -DTIDEWELL_SANITIZE=address,undefined -DTIDEWELL_FUZZ=ON -DTIDEWELL_BUILD_UNINSTALLER=OFF -DTIDEWELL_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target tidewell_fuzz tidewelld
ctest --test-dir build-fuzz --output-on-failure -R '^fuzz\.' -j "$jobs"
stage_done build-fuzz

# The Debian package of the plain build: lintian may report information, nothing worse, and
# no missing hardening.
rm -rf build/package
(cd build && cpack -G DEB -B package >/dev/null)
if ! lintian -I --pedantic --fail-on error,warning build/package/*.deb >build/package/lintian.txt ||
  grep -q 'hardening-' build/package/lintian.txt; then
  cat build/package/lintian.txt
  exit 1
fi
stage_done lintian

#!/usr/bin/env bash
# Sets everything up, builds, and passes the tests: the two Windows builds, the linux suite (by
# ctest, one process per test, and once more as one process in a random order, which catches a
# test that depends on what an earlier one left behind), and the same suite under
# AddressSanitizer/UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh win64
scripts/build.sh win32
file build/win64/BrevantoTXR4100SeriesZKWInstaller.exe | grep -q 'PE32+ executable (GUI) x86-64'
file build/win32/BrevantoTXR4100SeriesZKWInstaller.exe | grep -q 'PE32 executable (GUI) Intel 80386'
scripts/build.sh linux
ctest --preset linux
build/linux/tests/txr_tests --gtest_shuffle --gtest_brief=1
scripts/build.sh linux-asan
ctest --preset linux-asan

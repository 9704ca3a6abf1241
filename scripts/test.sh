#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is missing, checks every file's licence header, then builds
# Tessel and runs the test suite headless twice: a normal build with every
# test, and a build with AddressSanitizer and UndefinedBehaviorSanitizer, where
# any report fails the run. The sanitizer build builds and runs only the tests
# whose code under test runs in the test's own process (CTest label "memory");
# the ones that drive the finished program from outside add nothing there but
# time. Then fuzzes the two readers of outside bytes for a minute, and builds
# the Windows version, whose tests run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
export QT_QPA_PLATFORM=offscreen

# Every file names its copyright and licence (REUSE): a file without them
# fails the suite here, in a second, rather than after the builds.
echo "== licences =="
reuse lint --quiet || reuse lint

echo "== default build =="
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

echo "== asan build =="
cmake --preset asan >/dev/null
cmake --build --preset asan --target tessel_memory_tests
ctest --preset asan

echo "== fuzz =="
time scripts/fuzz.sh 60

# The Windows build and its tests under Wine (label windows), with the
# prebuilt Qt for MinGW beside the checkout. The syntax-only check comes
# first: it names every file that does not compile for Windows in a few
# seconds, where the build stops at the first.
if [ -d ../shared/qt6-mingw ]; then
    echo "== windows check =="
    time scripts/check-windows.sh
    echo "== windows build =="
    time cmake --preset windows >/dev/null
    time cmake --build --preset windows
    time ctest --preset windows
else
    echo "== windows build skipped: no ../shared/qt6-mingw =="
fi

#!/usr/bin/env bash
# Installs what is missing, then builds Tessel and runs the whole test suite
# headless twice: a normal build, and a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails the run; then builds the
# Windows version, whose tests run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
export QT_QPA_PLATFORM=offscreen

for preset in default asan; do
    echo "== $preset build =="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

# The Windows build and its tests under Wine (label windows), with the
# prebuilt Qt for MinGW beside the checkout. It compiles every source of the
# program for Windows, warnings included, so scripts/check-windows.sh (the
# same check, syntax only) is not run as well.
if [ -d ../shared/qt6-mingw ]; then
    echo "== windows build =="
    time cmake --preset windows >/dev/null
    time cmake --build --preset windows
    time ctest --preset windows
else
    echo "== windows build skipped: no ../shared/qt6-mingw =="
fi

#!/usr/bin/env bash
# Installs what is missing, then builds Tessel and runs the test suite
# headless twice: a normal build with every test, and a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the
# run. The sanitizer build builds and runs only the tests whose code under test
# runs in the test's own process (CTest label "memory"); the ones that drive the
# finished program from outside add nothing there but time. Then checks that
# every source file compiles for Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
export QT_QPA_PLATFORM=offscreen

echo "== default build =="
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default

echo "== asan build =="
cmake --preset asan >/dev/null
cmake --build --preset asan --target tessel_memory_tests
ctest --preset asan

echo "== Windows sources =="
scripts/check-windows.sh build/default

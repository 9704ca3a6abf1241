#!/usr/bin/env bash
# Builds Tessel for 64-bit Windows on Debian with MinGW-w64 and the prebuilt Qt
# in ../shared/qt6-mingw, and makes the installer:
#   build/windows/install/   tessel.exe with Qt, the MinGW runtime and
#                            encoder\ffmpeg.exe: a folder that runs as is
#   build/windows/package/Setup.exe
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d ../shared/qt6-mingw ] || { echo "no ../shared/qt6-mingw beside the checkout" >&2; exit 1; }
scripts/install-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows
rm -rf build/windows/install
cmake --install build/windows --prefix build/windows/install
cpack --config build/windows/CPackConfig.cmake -B build/windows/package
echo "build/windows/install/tessel.exe"
echo "build/windows/package/Setup.exe"

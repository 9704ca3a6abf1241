#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds Tessel for 64-bit Windows on Debian with MinGW-w64, the prebuilt Qt in
# ../shared/qt6-mingw and the prebuilt FFmpeg 5.1 in ../shared/ffmpeg-mingw
# (checked against its SHA256SUMS), and makes the installer:
#   build/windows/install/   tessel.exe with Qt, the MinGW runtime and
#                            encoder\ffmpeg.exe: a folder that runs as is
#   build/windows/package/Setup.exe
# With TESSEL_SIGNING_CERTIFICATE=<PKCS#12 file> in the environment (its
# password in TESSEL_SIGNING_PASSWORD), tessel.exe, ffmpeg.exe, Setup.exe and
# the uninstaller are signed; without it they are left unsigned.
set -euo pipefail
cd "$(dirname "$0")/.."
for needed in qt6-mingw ffmpeg-mingw; do
    [ -d "../shared/$needed" ] || { echo "no ../shared/$needed beside the checkout" >&2; exit 1; }
done
scripts/install-deps.sh --windows
cmake --preset windows >/dev/null
cmake --build --preset windows
rm -rf build/windows/install
cmake --install build/windows --prefix build/windows/install
cpack --config build/windows/CPackConfig.cmake -B build/windows/package
echo "build/windows/install/tessel.exe"
echo "build/windows/package/Setup.exe"
certificate=${TESSEL_SIGNING_CERTIFICATE:-$(sed -n 's/^TESSEL_SIGNING_CERTIFICATE:FILEPATH=//p' build/windows/CMakeCache.txt)}
if [ -n "$certificate" ]; then
    echo "signed with $certificate"
else
    echo "unsigned: no TESSEL_SIGNING_CERTIFICATE to sign with"
fi

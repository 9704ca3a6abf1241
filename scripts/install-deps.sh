#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what Tessel needs to build, run and test on Debian 12, and only what
# is missing: a second run does nothing and takes a moment.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # Asking the X window manager for attention at a run's end: Qt 6.4's own
    # call does not reach it.
    libxcb1-dev
    ffmpeg
    fonts-dejavu-core
    # cpack -G DEB: dpkg-shlibdeps (and file, which it relies on) work out
    # which libraries the package depends on.
    dpkg-dev file
)
windows_packages=(
    # Tessel for Windows: the MinGW-w64 compiler, NSIS for Setup.exe, Wine to
    # run the Windows tests, osslsigncode to sign the programs when given a
    # certificate. ffmpeg.exe is prebuilt in ../shared/ffmpeg-mingw.
    g++-mingw-w64-x86-64-posix nsis wine64 osslsigncode
)
if [ "${1:-}" = "--windows" ]; then
    packages+=("${windows_packages[@]}")
fi
if [ "${1:-}" = "--test" ]; then
    packages+=("${windows_packages[@]}")
    # Headless X server, a way to drive it from outside and to take pictures.
    packages+=(xvfb xauth xdotool x11-utils imagemagick)
    # Checkers for the desktop entry and the AppStream data in the package.
    packages+=(desktop-file-utils appstream)
    # Every file's licence header (reuse lint, run first by scripts/test.sh).
    packages+=(reuse)
    # The Debian package checked as Debian checks packages.
    packages+=(lintian)
    # scripts/check-windows.sh compiles the sources for Windows.
    packages+=(g++-mingw-w64-x86-64-posix)
    # A test watches which thread flushes the MP4s; another mounts a FUSE
    # file system without a flush.
    packages+=(strace python3-fusepy)
    # The Windows tests read manifests and icons back out of the programs
    # (wrestool), and sign with a throwaway certificate.
    packages+=(icoutils openssl)
    # The fuzz targets (scripts/fuzz.sh): clang, and libFuzzer with the
    # sanitizers' runtimes.
    packages+=(clang libclang-rt-14-dev)
    # What a run asks of the desktop: private system and session buses, and a
    # real window manager that marks a window asking for attention.
    packages+=(dbus-daemon openbox)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

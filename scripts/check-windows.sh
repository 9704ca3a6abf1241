#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Compiles every source file of Tessel for 64-bit Windows with Debian's
# MinGW-w64, syntax only, against Qt for Windows: the branches written for
# Windows are checked on every test run, though nothing here runs them.
# Fails on any compiler error. Usage: scripts/check-windows.sh [build folder]
# (default build/default, whose settings give the build's definitions).
set -euo pipefail
cd "$(dirname "$0")/.."

qt="${TESSEL_QT_MINGW:-../shared/qt6-mingw}"
cxx=x86_64-w64-mingw32-g++-posix
build="${1:-build/default}"
uic=/usr/lib/qt6/libexec/uic

if [ ! -d "$qt/include/QtCore" ]; then
    echo "check-windows: no Qt for Windows at $qt (set TESSEL_QT_MINGW)" >&2
    exit 1
fi
for tool in "$cxx" "$uic"; do
    command -v "$tool" >/dev/null || { echo "check-windows: $tool is missing" >&2; exit 1; }
done

# The headers the build generates, made the same way (the form's uic header
# does not depend on the platform).
generated="$(mktemp -d)"
trap 'rm -rf "$generated"' EXIT
"$uic" src/mainwindow/tesselmainwindow.ui -o "$generated/ui_tesselmainwindow.h"

host="$(sed -n 's/^TESSEL_UPDATE_HOST:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null || true)"
host="${host:-downloads.tessel.example}"

flags=(
    -std=c++17 -fsyntax-only -Wall -Wextra
    -DUNICODE -D_UNICODE -DWIN32 -DMINGW_HAS_SECURE_API=1
    -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_NETWORK_LIB -DQT_CONCURRENT_LIB
    -DQT_NO_DEBUG -DNDEBUG "-DTESSEL_UPDATE_HOST=\"$host\"" '-DTESSEL_UPDATE_PACKAGE="Setup.exe"'
    -Isrc -I"$generated"
    -isystem "$qt/include" -isystem "$qt/mkspecs/win32-g++"
)
for module in QtCore QtGui QtWidgets QtNetwork QtConcurrent; do
    flags+=(-isystem "$qt/include/$module")
done

# The program's sources but the Unix ones, and the stand-in encoder the tests
# run in FFmpeg's place.
mapfile -t sources < <(git ls-files --cached --others --exclude-standard 'src/*.cpp' | grep -v '_unix\.cpp$'; echo tests/conversion/standinencoder.cpp)
# One compiler a core: the check runs on every test run.
if ! printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P "$(nproc)" "$cxx" "${flags[@]}"; then
    echo "check-windows: some of the ${#sources[@]} files do not compile for Windows (errors above)" >&2
    exit 1
fi
echo "check-windows: ${#sources[@]} files compile for Windows"

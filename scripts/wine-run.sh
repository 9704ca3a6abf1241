#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs a Windows test program under Wine, as CTest's emulator for the windows
# build:   wine-run.sh <wine prefix> [<program.exe> [arguments...]]
# The prefix is private to the build folder (made on first use), so a test
# never sees the user's own Wine or registry. Qt's and MinGW's DLLs are found
# where they lie, through WINEPATH. Its programs use Qt's offscreen platform. Wine's console output through a pipe can
# come back empty, so a Qt Test program also writes its results to a file,
# which is printed once it ends.
set -uo pipefail
prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
wine=/usr/lib/wine/wine64

export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
dll_dirs=(
    "$here/../../shared/qt6-mingw/bin"
    /usr/lib/gcc/x86_64-w64-mingw32/12-posix
    /usr/x86_64-w64-mingw32/lib
)
winepath=""
for dir in "${dll_dirs[@]}"; do
    winepath+="$(windows_path "$(realpath -m "$dir")");"
done
export WINEPATH="${winepath}${WINEPATH:-}"

# Tests run two at a time: one of them makes the prefix, the other waits.
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
        "$wine" wineboot --init >/dev/null 2>&1
        # Wine hands no QT_* variable to Windows programs: the tests' prefix
        # is headless through its own environment, which Wine does apply.
        "$wine" reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
        "$(dirname "$wine")/wineserver" -w
    fi
    # Wine marks names that begin with a dot hidden, Windows does not: the
    # tests see folders as Windows shows them.
    if ! grep -q '^"ShowDotFiles"="Y"' "$prefix/user.reg"; then
        "$wine" reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1
        "$(dirname "$wine")/wineserver" -w
    fi
) 9>"$prefix.lock"

# Without a program: only make the prefix.
[ $# -gt 0 ] || exit 0

results=""
case " $* " in
*" -o "*) ;;
*)
    results=$(mktemp --suffix=.txt)
    set -- "$@" -o "$(windows_path "$results"),txt"
    ;;
esac
# Into a file, not CTest's pipe: the first program of a Wine session starts
# Wine's own background programs, which would hold the pipe (and the test)
# open until the session ends.
output=$(mktemp)
"$wine" "$@" >"$output" 2>&1
code=$?
cat "$output"
rm -f "$output"
if [ -n "$results" ]; then
    cat "$results"
    rm -f "$results"
fi
exit $code

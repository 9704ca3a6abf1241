#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Logging off or shutting down during a run, as Windows does it and Wine's
# `wineboot --end-session` too: WM_QUERYENDSESSION, WM_ENDSESSION, and the
# process ended once that is answered. By then Tessel must have done what
# Close does: FFmpeg stopped, its unfinished file and work folder gone, the
# folder stored. Wine here shows names with a leading dot as Windows does
# (ShowDotFiles), so the folder's listing during the run is the one Explorer
# gives.
#   tst_sessionend.sh <build dir> <wine prefix> <long sample clip> <artifacts dir>
set -euo pipefail
build=$1 prefix=$2 sample=$3 artifacts=$4
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=$prefix
. "$here/winesession.sh"
listing() { "$wine" cmd /c dir /b "$@" 2>/dev/null | tr -d '\r' | tr '\n' ' '; }

"$here/../../scripts/wine-run.sh" "$prefix"
"$wine" reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null
dll_path=""
for dir in "$here/../../../shared/qt6-mingw/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix \
    /usr/x86_64-w64-mingw32/lib; do
    dll_path+="$(windows_path "$(realpath -m "$dir")");"
done
export WINEPATH=$dll_path

# cmd's dir takes no path past MAX_PATH: tst_windowsrun has the long one.
folder="$work/Card 1"
mkdir -p "$folder"
cp "$sample" "$folder/00001.MTS"
windows_folder=$(windows_path "$folder")
settings_key='HKCU\Software\Ostrell\Tessel'
"$wine" reg add "$settings_key" /v lastOpenDirectory /d "$windows_folder" /f >/dev/null

# The prefix is headless for the other tests (wine-run.sh); this one needs the
# window. Wine's ShutdownBlockReasonCreate is a stub that names its arguments
# as a fixme.
WINEDEBUG=-all,fixme+all "$wine" "$build/bin/tessel.exe" -platform windows 2>"$work/tessel.log" &
tessel=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tessel$' | head -n 1) ||
    fail "tessel.exe showed no window"
eval "$(xdotool getwindowgeometry --shell "$window")"
written() { [ -n "$(find "$folder/.tessel-unfinished" -name '*.mp4' -size +0 2>/dev/null)" ]; }
click_until "$window" $((WIDTH / 2)) 50 written ||
    fail "FFmpeg wrote nothing: $(ls -AR "$folder"; cat "$work/tessel.log")"
mkdir -p "$artifacts"
import -window root "$artifacts/windows-session-end-running.png" || true
# Explorer shows neither hidden entries nor the files inside them.
[ "$(listing "$windows_folder")" = "00001.MTS " ] ||
    fail "Explorer would show: $(listing "$windows_folder")"
[ "$(listing /a:h "$windows_folder")" = ".tessel-unfinished " ] ||
    fail "not hidden: $(listing /a "$windows_folder")"
grep -q 'ShutdownBlockReasonCreate.*L"Converting clips"' "$work/tessel.log" ||
    fail "no shutdown block reason: $(grep -i shutdown "$work/tessel.log")"

# Gone from the registry, so only Tessel can bring it back.
"$wine" reg delete "$settings_key" /v lastOpenDirectory /f >/dev/null
started=$SECONDS
"$wine" wineboot --end-session
wait "$tessel" || true
echo "the session ended in $((SECONDS - started)) s"
"$wineserver" -w
[ "$(ls -A "$folder")" = 00001.MTS ] || fail "left in the folder: $(ls -AR "$folder")"
[ "$(reg_value "$settings_key" lastOpenDirectory)" = "$windows_folder" ] ||
    fail "folder not remembered: $("$wine" reg query "$settings_key" 2>&1)"
echo "passed"

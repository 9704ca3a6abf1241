#!/usr/bin/env bash
# Setup.exe under Wine, as a user gets it: a silent install into Program
# Files\Tessel, the installed tessel.exe started in a private X server with a
# folder remembered in the registry, Process pressed, the clip converted by the
# bundled ffmpeg.exe, the folder remembered again, and a silent uninstall that
# leaves nothing behind.
#   tst_installer.sh <build dir> <wine prefix> <sample clip> <cpack> <artifacts dir>
set -euo pipefail
build=$1 prefix=$2 sample=$3 cpack=$4 artifacts=$5
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
cleanup() {
    "$(dirname "$wine")/wineserver" -k 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "-- $* ($SECONDS s)"; }
reg_value() { # key, value name: the text, or nothing
    # An export is UTF-16 whatever the console's code page; reg query's output
    # would mangle the accents.
    rm -f "$work/value.reg"
    "$wine" reg export "$1" "$(windows_path "$work/value.reg")" /y >/dev/null 2>&1 || return 0
    iconv -f UTF-16 -t UTF-8 "$work/value.reg" | tr -d '\r' |
        sed -n "s/^\"$2\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\\/g'
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Wine's desktop takes the display of the first program of a session: every
# Wine program here sees the private X server.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
"$(dirname "$wine")/wineserver" -k 2>/dev/null || true

step "Setup.exe"
# zlib: the test needs the installer, not its smallest size.
"$cpack" --config "$build/CPackConfig.cmake" -G NSIS -B "$work/package" \
    -D CPACK_NSIS_COMPRESSOR=zlib >"$work/cpack.log" || { cat "$work/cpack.log"; fail "cpack"; }
setup=$work/package/Setup.exe
[ -f "$setup" ] || fail "no Setup.exe"

# Made once, like the tests' own prefix.
"$wine_run" "$prefix"
program_files=$prefix/drive_c/Program\ Files/Tessel
menu=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tessel
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessel'
settings_key='HKCU\Software\Ostrell\Tessel'

step "silent install"
"$wine" "$setup" /S
"$(dirname "$wine")/wineserver" -w
for file in tessel.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll Qt6Concurrent.dll libstdc++-6.dll \
    libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    tls/qschannelbackend.dll encoder/ffmpeg.exe encoder/COPYING.txt Uninstall.exe; do
    [ -f "$program_files/$file" ] || fail "not installed: $file"
done
# A GUI program (no console window beside it) that names its version in its
# properties.
file "$program_files/tessel.exe" | grep -q 'PE32+ executable (GUI) x86-64' ||
    fail "tessel.exe is no 64-bit GUI program: $(file "$program_files/tessel.exe")"
strings -el "$program_files/tessel.exe" | grep -qx 1.0.405 || fail "tessel.exe carries no version 1.0.405"
[ -f "$menu/Tessel.lnk" ] || fail "no Start-menu entry: $(ls -R "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu" 2>&1)"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = 1.0.405 ] ||
    fail "no Apps & features entry for 1.0.405: $("$wine" reg query "$uninstall_key" 2>&1)"
[ "$(reg_value "$uninstall_key" DisplayName)" = Tessel ] || fail "Apps & features entry not named Tessel"

step "the installed Tessel converts a folder"
folder="$work/Été 2019 %"
mkdir -p "$folder"
cp "$sample" "$folder/00001.MTS"
windows_folder=$(windows_path "$folder")
"$wine" reg delete "$settings_key" /f >/dev/null 2>&1 || true
"$wine" reg add "$settings_key" /v lastOpenDirectory /d "$windows_folder" /f >/dev/null

# The test prefix is headless (wine-run.sh); the installed program is not.
"$wine" "$program_files/tessel.exe" -platform windows &
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tessel$' | head -n 1) ||
    fail "the installed tessel.exe showed no window"
sleep 1
mkdir -p "$artifacts"
import -window root "$artifacts/windows-installed-tessel.png" || true
# Process spans the window's width just below the folder row.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" $((WIDTH / 2)) 50 click 1
box=$(timeout 60 xdotool search --sync --onlyvisible --name '^Warning$' | head -n 1) ||
    fail "no box at the end of the run"
import -window root "$artifacts/windows-installed-tessel-done.png" || true
[ -f "$folder/00001.mp4" ] || fail "no MP4: $(ls -a "$folder")"
[ "$(ls -A "$folder" | sort | tr '\n' ' ')" = "00001.MTS 00001.mp4 " ] ||
    fail "left in the folder: $(ls -A "$folder")"
head -c 8 "$folder/00001.mp4" | tail -c 4 | grep -q ftyp || fail "00001.mp4 is no MP4"
xdotool key --window "$box" Return
# Gone from the registry, so only Tessel closing can bring it back.
"$wine" reg delete "$settings_key" /v lastOpenDirectory /f >/dev/null
"$wine" taskkill /im tessel.exe >/dev/null # WM_CLOSE, as the window's close button
"$(dirname "$wine")/wineserver" -w
[ "$(reg_value "$settings_key" lastOpenDirectory)" = "$windows_folder" ] ||
    fail "folder not remembered: $("$wine" reg query "$settings_key" 2>&1)"

step "silent uninstall"
"$wine" "$program_files/Uninstall.exe" /S
"$(dirname "$wine")/wineserver" -w
# The uninstaller runs from a copy of itself; the wait above covers it too.
[ ! -e "$program_files" ] || fail "left installed: $(cd "$program_files" && find .)"
[ ! -e "$menu" ] || fail "Start-menu entry left"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "Apps & features entry left"
step "passed"

#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Setup.exe under Wine, as a user gets it: a silent install into Program
# Files\Tessel, the installed tessel.exe started in a private X server with a
# folder remembered in the registry, Process pressed, the clip converted by the
# bundled ffmpeg.exe, the folder remembered again, and a silent uninstall that
# leaves nothing behind. Setup.exe is signed with a throwaway certificate, as a
# release is with the publisher's, and every signature is checked; so are its
# licence page and the installed files as Windows reads them (manifests,
# version and licence, icon, imports).
#   tst_installer.sh <build dir> <wine prefix> <sample clip> <cpack> <artifacts dir>
set -euo pipefail
build=$1 prefix=$2 sample=$3 cpack=$4 artifacts=$5
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../scripts/wine-run.sh
export WINEPREFIX=$prefix
. "$here/winesession.sh"
step() { echo "-- $* ($SECONDS s)"; }

step "Setup.exe, signed"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Tessel test" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" -passout pass:test
# zlib: the test needs the installer, not its smallest size.
TESSEL_SIGNING_CERTIFICATE=$work/cert.p12 TESSEL_SIGNING_PASSWORD=test \
    "$cpack" --config "$build/CPackConfig.cmake" -G NSIS -B "$work/package" \
    -D CPACK_NSIS_COMPRESSOR=zlib >"$work/cpack.log" || { cat "$work/cpack.log"; fail "cpack"; }
setup=$work/package/Setup.exe
[ -f "$setup" ] || fail "no Setup.exe"
signed() { # file: signed with the throwaway certificate, and intact
    osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1 ||
        fail "$1 carries no valid signature: $(cat "$work/verify.log")"
}
signed "$setup"
# Windows draws it sharp on scaled displays, and shows its version.
settings=$(bash "$here/manifest-settings.sh" "$setup")
grep -qx '{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware=true' <<<"$settings" ||
    fail "Setup.exe declares no DPI awareness: $settings"
wrestool -x --raw -t 16 "$setup" >"$work/version.res"
strings -el "$work/version.res" | grep -qx 1.0.405 || fail "Setup.exe carries no version 1.0.405"
legal='Copyright 2026 Ostrell. GPL-3.0-or-later'
strings -el "$work/version.res" | grep -qxF "$legal" || fail "Setup.exe names no licence"
# The licence page makensis was given: Tessel's licence first, then FFmpeg's.
page=$(sed -n 's/^ *!insertmacro MUI_PAGE_LICENSE "\(.*\)"$/\1/p' "$work"/package/_CPack_Packages/*/NSIS/project.nsi)
parts=$(grep -oE '^(Tessel is free|Tessel comes with|  +GNU (LESSER )?GENERAL PUBLIC LICENSE)' "$page" |
    sed 's/^ *//' | uniq | tr '\n' '|')
[ "$parts" = "Tessel is free|GNU GENERAL PUBLIC LICENSE|Tessel comes with|GNU LESSER GENERAL PUBLIC LICENSE|" ] ||
    fail "the licence page's parts, in order: $parts"

# Made once, like the tests' own prefix.
"$wine_run" "$prefix"
program_files=$prefix/drive_c/Program\ Files/Tessel
menu=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tessel
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessel'
settings_key='HKCU\Software\Ostrell\Tessel'

step "silent install"
"$wine" "$setup" /S
"$wineserver" -w
# The folder holds these files and no others (no DLL that nothing loads).
expected_files="COPYING.txt Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6Widgets.dll Uninstall.exe \
encoder/COPYING.LAME.txt encoder/COPYING.LGPLv2.1.txt encoder/README.txt encoder/ffmpeg.exe \
libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll \
styles/qwindowsvistastyle.dll tessel.exe tls/qschannelbackend.dll"
installed_files=$(cd "$program_files" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ')
[ "$installed_files" = "$(echo $expected_files) " ] || fail "installed: $installed_files"
for file in tessel.exe encoder/ffmpeg.exe Uninstall.exe; do signed "$program_files/$file"; done
grep -q 'FFmpeg 5\.1\.9' "$program_files/encoder/README.txt" || fail "encoder\\README.txt names no FFmpeg 5.1.9"
cmp "$program_files/COPYING.txt" "$here/../../LICENSES/GPL-3.0-or-later.txt" || fail "COPYING.txt is not Tessel's GPL"
bash "$here/tst_manifest.sh" "$program_files/tessel.exe" >/dev/null
wrestool -x -t 14 "$program_files/tessel.exe" >"$work/icon.ico"
icotool -l "$work/icon.ico" >"$work/icon.txt"
grep -q -- '--width=256 --height=256' "$work/icon.txt" || fail "tessel.exe has no 256 px icon"
# Every library a shipped file imports is shipped or part of Windows; every
# shipped library beside tessel.exe is imported by one. None carries debug
# sections.
imports=$work/imports
for file in "$program_files"/*.exe "$program_files"/*.dll "$program_files"/*/*.dll; do
    x86_64-w64-mingw32-objdump -h "$file" >"$work/sections.txt"
    grep -q '\.debug_' "$work/sections.txt" && fail "not stripped: $file"
    x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' >>"$imports"
done
shipped=$(cd "$program_files" && ls *.dll | tr 'A-Z' 'a-z')
for library in $(sort -u "$imports"); do
    # API sets name no file: Windows maps them onto its own DLLs.
    [[ $library == api-ms-win-* ]] && continue
    grep -qx "$library" <<<"$shipped" || [ -e "$prefix/drive_c/windows/system32/$library" ] ||
        fail "imported but not shipped: $library"
done
for library in $shipped; do
    grep -qx "$library" "$imports" || fail "shipped but imported by nothing: $library"
done
# A GUI program (no console window beside it) that names its version in its
# properties.
file "$program_files/tessel.exe" | grep -q 'PE32+ executable (GUI) x86-64' ||
    fail "tessel.exe is no 64-bit GUI program: $(file "$program_files/tessel.exe")"
strings -el "$program_files/tessel.exe" | grep -qx 1.0.405 || fail "tessel.exe carries no version 1.0.405"
strings -el "$program_files/tessel.exe" | grep -qxF "$legal" || fail "tessel.exe names no licence"
[ -f "$menu/Tessel.lnk" ] || fail "no Start-menu entry: $(ls -R "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu" 2>&1)"
[ "$(reg_value "$uninstall_key" DisplayVersion)" = 1.0.405 ] ||
    fail "no Apps & features entry for 1.0.405: $("$wine" reg query "$uninstall_key" 2>&1)"
[ "$(reg_value "$uninstall_key" DisplayName)" = Tessel ] || fail "Apps & features entry not named Tessel"
"$wine" reg export "$uninstall_key" "$(windows_path "$work/entry.reg")" /y >/dev/null 2>&1
entry=$(iconv -f UTF-16 -t UTF-8 "$work/entry.reg" | tr -d '\r')
for flag in NoModify NoRepair; do
    grep -qx "\"$flag\"=dword:00000001" <<<"$entry" || fail "$flag is no DWORD 1: $entry"
done
"$wine" reg query 'HKLM\Software\Ostrell\Tessel' >/dev/null 2>&1 || fail "no HKLM\\Software\\Ostrell\\Tessel"

step "the installed Tessel converts a folder"
folder="$work/Été 2019 %"
mkdir -p "$folder"
cp "$sample" "$folder/00001.MTS"
# A clip that fails at once, before it: the taskbar's error state.
: >"$folder/00000.MTS"
windows_folder=$(windows_path "$folder")
"$wine" reg delete "$settings_key" /f >/dev/null 2>&1 || true
"$wine" reg add "$settings_key" /v lastOpenDirectory /d "$windows_folder" /f >/dev/null
# Wine hands Windows programs no QT_* variable but this prefix's own: Tessel's
# debug lines go to its standard error, where Wine shows them.
"$wine" reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null
"$wineserver" -w

# The test prefix is headless (wine-run.sh); the installed program is not.
"$wine" "$program_files/tessel.exe" -platform windows 2>"$work/tessel.log" &
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Tessel$' | head -n 1) ||
    fail "the installed tessel.exe showed no window"
mkdir -p "$artifacts"
import -window root "$artifacts/windows-installed-tessel.png" || true
# Process spans the window's width just below the folder row.
eval "$(xdotool getwindowgeometry --shell "$window")"
counted() { xdotool search --onlyvisible --name '^Warning$' >"$work/box"; }
click_until "$window" $((WIDTH / 2)) 50 counted || fail "no box at the end of the run"
box=$(head -n 1 "$work/box")
import -window root "$artifacts/windows-installed-tessel-done.png" || true
[ -f "$folder/00001.mp4" ] || fail "no MP4: $(ls -a "$folder")"
[ "$(ls -A "$folder" | sort | tr '\n' ' ')" = "00000.MTS 00001.MTS 00001.mp4 " ] ||
    fail "left in the folder: $(ls -A "$folder")"
head -c 8 "$folder/00001.mp4" | tail -c 4 | grep -q ftyp || fail "00001.mp4 is no MP4"
xdotool key --window "$box" Return
# What the run asked of Windows, as Tessel reports each call. Wine's taskbar
# list is a stub that takes every call; its PowerCreateRequest is not
# implemented (0x78), so this shows the run going on when nothing holds sleep off.
for call in "PowerCreateRequest: failed (0x78)" "Nothing keeps the computer awake during this run" \
    "CoCreateInstance(TaskbarList): ok" "ITaskbarList3::HrInit: ok" \
    "SetProgressState(TBPF_NORMAL): ok" "ITaskbarList3::SetProgressValue: ok" \
    "SetProgressState(TBPF_ERROR): ok" "SetProgressState(TBPF_NOPROGRESS): ok"; do
    grep -qxF "$call" <(tr -d '\r' <"$work/tessel.log") || fail "not reported: $call: $(cat "$work/tessel.log")"
done
# Gone from the registry, so only Tessel closing can bring it back.
"$wine" reg delete "$settings_key" /v lastOpenDirectory /f >/dev/null
"$wine" taskkill /im tessel.exe >/dev/null # WM_CLOSE, as the window's close button
"$wineserver" -w
[ "$(reg_value "$settings_key" lastOpenDirectory)" = "$windows_folder" ] ||
    fail "folder not remembered: $("$wine" reg query "$settings_key" 2>&1)"

step "silent uninstall"
"$wine" "$program_files/Uninstall.exe" /S
"$wineserver" -w
# The uninstaller runs from a copy of itself; the wait above covers it too.
[ ! -e "$program_files" ] || fail "left installed: $(cd "$program_files" && find .)"
[ ! -e "$menu" ] || fail "Start-menu entry left"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "Apps & features entry left"
"$wine" reg query 'HKLM\Software\Ostrell' >/dev/null 2>&1 && fail "HKLM\\Software\\Ostrell left"
step "passed"

#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# The program as users get it. An install into a private prefix: every path in
# the install manifest, the program starts. The Debian package: its control
# fields, its layout, the program started from the unpacked package, its
# desktop entry, AppStream data and manual page through their checkers, and
# the whole package through lintian. What the publish target lays out from it.
# Usage: tst_package.sh <build dir> <version> <ffmpeg> <cmake> <cpack>
set -euo pipefail
build=$1 version=$2 ffmpeg=$3 cmake=$4 cpack=$5
work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts a program headless with throw-away settings; it must still run after
# a second (no missing library, no crash at start).
starts() {
    mkdir -p "$work/home"
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
        "$1" >"$work/program.log" 2>&1 &
    pid=$!
    sleep 1
    kill -0 "$pid" 2>/dev/null || { cat "$work/program.log" >&2; fail "$1 stopped at once"; }
    kill "$pid"; wait "$pid" 2>/dev/null || true; pid=
}

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
diff <(find "$prefix" ! -type d | sort) <(sort "$build/install_manifest.txt") \
    || fail "installed paths and the install manifest differ"
[ "$(readlink -f "$prefix/libexec/tessel/encoder/ffmpeg")" = "$(readlink -f "$ffmpeg")" ] \
    || fail "encoder link in a private prefix does not reach $ffmpeg"
starts "$prefix/bin/tessel"

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >/dev/null
deb=$(echo "$work"/pkg/tessel_*.deb)
fields="$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version) $(dpkg-deb -f "$deb" Section)"
[ "$fields" = "tessel $version video" ] || fail "package, version, section: $fields"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in ffmpeg libc6 libqt6widgets6; do
    grep -Eq "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
[ -z "$(find "$root/usr/bin" -mindepth 1 -type d)" ] || fail "a folder under usr/bin"
[ "$(readlink -f "$root/usr/bin/tessel")" = "$root/usr/libexec/tessel/tessel" ] \
    || fail "usr/bin/tessel does not lead to the program beside its encoder"
encoder=$(readlink "$root/usr/libexec/tessel/encoder/ffmpeg") || fail "no encoder link beside the program"
[ "${encoder#/}" = "$encoder" ] || fail "encoder link is absolute: $encoder"
[ "$(realpath -m "/usr/libexec/tessel/encoder/$encoder")" = "$(realpath "$ffmpeg")" ] \
    || fail "encoder link $encoder does not reach $ffmpeg"
file "$root/usr/libexec/tessel/tessel" | grep -q ', stripped' || fail "program not stripped"
starts "$root/usr/bin/tessel"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root"/usr/share/applications/*.desktop
fi
if command -v appstreamcli >/dev/null; then
    # The tree, not the file alone: the launchable must name the shipped desktop entry.
    appstreamcli validate-tree --no-net "$root"
fi
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/tessel.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page: $warnings"
fi
if command -v lintian >/dev/null; then # a word about running as root goes to standard error
    tags=$(lintian "$deb" 2>"$work/lintian.err") || fail "lintian: $tags $(cat "$work/lintian.err")"
    [ -z "$tags" ] || fail "lintian: $tags"
fi

# What the publish target lays out from the package; Setup.exe stands in for the Windows build's.
publish() {
    "$cmake" -DBUILD_NUMBER="${version##*.}" -DOUT="$work/publish" -DDEB="$deb" -DDEB_NAME=tessel_amd64.deb \
        -DSETUP_NAME=Setup.exe -DSETUP="$1" -P "$(dirname "$0")/../../packaging/publish.cmake" 2>&1
}
printf 'MZ stand-in' >"$work/Setup.exe"
publish "$work/Setup.exe" >/dev/null
laid_out=$(cd "$work/publish" && find . | LC_ALL=C sort | tr '\n' ' ')
[ "$laid_out" = ". ./Tessel ./Tessel/Setup.exe ./Tessel/current_tessel.txt ./Tessel/tessel_amd64.deb " ] ||
    fail "published: $laid_out"
printf '%s\n' "${version##*.}" | cmp - "$work/publish/Tessel/current_tessel.txt"
cmp "$deb" "$work/publish/Tessel/tessel_amd64.deb" && cmp "$work/Setup.exe" "$work/publish/Tessel/Setup.exe"
missing=$(publish "$work/none/Setup.exe") && fail "published without a Setup.exe"
grep -q "$work/none/Setup.exe is missing" <<<"$missing" || fail "no word of the missing Setup.exe: $missing"
echo "PASS: $(basename "$deb")"

# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Sourced by the Windows tests that drive Wine from the shell: a scratch folder,
# a private X server whose display every Wine program of the session takes, and
# the helpers both tests use. Expects WINEPREFIX set.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
cleanup() {
    # Without a Wine session to end, the X server must still go: it holds
    # the test's output open.
    "$wineserver" -k 2>/dev/null || true
    [ -z "${xvfb:-}" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
reg_value() { # key, value name: the text, or nothing
    # An export is UTF-16 whatever the console's code page; reg query's output
    # would mangle the accents.
    rm -f "$work/value.reg"
    "$wine" reg export "$1" "$(windows_path "$work/value.reg")" /y >/dev/null 2>&1 || return 0
    iconv -f UTF-16 -t UTF-8 "$work/value.reg" | tr -d '\r' |
        sed -n "s/^\"$2\"=\"\(.*\)\"\$/\1/p" | sed 's/\\\\/\\/g'
}

# Clicks at x, y in the window until the command after them succeeds, for at
# most 60 s: a busy machine shows Wine's window well before it takes a click.
click_until() { # window x y command...
    local window=$1 x=$2 y=$3
    shift 3
    for _ in $(seq 30); do
        xdotool mousemove --window "$window" "$x" "$y" click 1
        for _ in $(seq 20); do
            "$@" && return 0
            sleep 0.1
        done
    done
    return 1
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
"$wineserver" -k 2>/dev/null || true

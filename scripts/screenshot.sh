#!/usr/bin/env bash
# Starts the real tessel in a private X server and saves a PNG of its window.
#   scripts/screenshot.sh [output.png] [folder to show in the field]
# Uses build/default/bin/tessel (build it first, e.g. with scripts/run.sh or
# scripts/test.sh). Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh --test).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/tessel-window.png}")
folder=${2:-}
tessel=${TESSEL:-build/default/bin/tessel}
[ -x "$tessel" ] || { echo "no $tessel: build first" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private settings store, so the picture never shows (or changes) the user's own folder.
mkdir -p "$work/config/Ostrell"
if [ -n "$folder" ]; then
    printf '[General]\nlastOpenDirectory=%s\n' "$folder" > "$work/config/Ostrell/Tessel.conf"
fi

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$tessel" &
app=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tessel$' | head -n 1)
sleep 0.5 # let the first paint land
import -window "$window" "$out"
echo "saved $out"

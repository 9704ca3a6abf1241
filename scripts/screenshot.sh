#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Starts the real tessel in a private X server and saves a PNG of its window.
#   scripts/screenshot.sh [--run] [--dark] [output.png] [folder to show in the field]
# --run   converts a folder of sample clips (one of them damaged) and takes the
#         picture while the long third clip is converting
# --dark  shows the window in dark colours, as on a dark desktop theme
# Uses build/default/bin/tessel (build it first, e.g. with scripts/run.sh or
# scripts/test.sh). Needs xvfb, xdotool, imagemagick and ffmpeg
# (scripts/install-deps.sh --test).
set -euo pipefail
cd "$(dirname "$0")/.."
run=no
dark=no
while [ $# -gt 0 ]; do
    case "$1" in
    --run) run=yes ;;
    --dark) dark=yes ;;
    *) break ;;
    esac
    shift
done
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

clip() { # name, seconds of sound
    ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
        -f lavfi -i "sine=frequency=440:duration=$2" -ac 2 -c:v libx264 -preset ultrafast \
        -c:a ac3 -f mpegts "$work/Card/$1"
}
if [ "$run" = yes ]; then
    folder="$work/Card"
    mkdir -p "$folder"
    clip 00001.MTS 2
    clip 00003.MTS 900
    cp "$folder/00001.MTS" "$folder/00004.MTS"
    head -c 200000 /dev/urandom > "$folder/00002 damaged.MTS"
fi

# A private settings store, so the picture never shows (or changes) the user's own folder.
mkdir -p "$work/config/Ostrell"
if [ -n "$folder" ]; then
    printf '[General]\nlastOpenDirectory=%s\n' "$folder" > "$work/config/Ostrell/Tessel.conf"
fi
options=()
if [ "$dark" = yes ]; then
    # What a dark desktop theme does to the window: light text on dark ground.
    cat > "$work/dark.qss" <<'QSS'
QWidget { background-color: #2b2b2b; color: #e8e8e8; }
QLineEdit, QListWidget { background-color: #1e1e1e; color: #e8e8e8; border: 1px solid #555555; }
QPushButton { background-color: #3c3f41; border: 1px solid #5a5a5a; padding: 4px 10px; }
QPushButton:disabled { color: #7a7a7a; }
QSS
    options=(-stylesheet "$work/dark.qss")
fi

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb "$tessel" "${options[@]}" &
app=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tessel$' | head -n 1)
sleep 0.5 # let the first paint land
if [ "$run" = yes ]; then
    # Process spans the window's width just below the folder row.
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" $((WIDTH / 2)) 50 click 1
    for _ in $(seq 200); do
        xdotool getwindowname "$window" | grep -q ' 3 of 4, ' && break
        sleep 0.1
    done
    sleep 2 # into the long clip, so its row shows how far it is
    # Another window's pointer would show as a tooltip in the picture.
    xdotool mousemove 1000 700
fi
import -window "$window" "$out"
echo "saved $out (title: $(xdotool getwindowname "$window"))"

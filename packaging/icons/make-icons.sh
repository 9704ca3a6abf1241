#!/usr/bin/env bash
# Renders tessel.svg into the PNG sizes installed on Linux and the
# multi-size tessel.ico that Windows builds embed. Needs librsvg2-bin and
# imagemagick. Run it after changing the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(16 24 32 48 64 72 96 128)
for s in "${sizes[@]}"; do
    rsvg-convert -w "$s" -h "$s" tessel.svg -o "tessel-$s.png"
done
/usr/bin/convert $(printf 'tessel-%s.png ' "${sizes[@]}") tessel.ico

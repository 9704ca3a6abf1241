#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 Ostrell <tessel@ostrell.example>
# SPDX-License-Identifier: GPL-3.0-or-later

# Renders tessel.svg into the PNG sizes installed on Linux and the
# multi-size tessel.ico that Windows builds embed, which also holds 256 pixels
# (PNG inside) for large icon views and high-DPI displays. Needs librsvg2-bin and
# imagemagick. Run it after changing the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
sizes=(16 24 32 48 64 72 96 128)
for s in "${sizes[@]}"; do
    rsvg-convert -w "$s" -h "$s" tessel.svg -o "tessel-$s.png"
done
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
rsvg-convert -w 256 -h 256 tessel.svg -o "$big"
/usr/bin/convert $(printf 'tessel-%s.png ' "${sizes[@]}") "$big" tessel.ico

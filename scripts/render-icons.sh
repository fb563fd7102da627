#!/usr/bin/env bash
# Renders the checked-in PNG icons from packaging/icons/parlune.svg.  Run it
# after editing the SVG and commit the PNGs with it (the 256 px one is also
# the window icon, built into the program through ui/resources.qrc).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 48 256; do
  rsvg-convert -w "$size" -h "$size" parlune.svg -o "parlune-$size.png"
done

#!/usr/bin/env bash
# Renders the program's icon, packaging/icons/vexa-sim.svg, to the PNG sizes the package
# installs. Run after changing the drawing; needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 32 48 64 128; do
  rsvg-convert -w "$size" -h "$size" vexa-sim.svg -o "vexa-sim-$size.png"
done

#!/usr/bin/env bash
# Renders data/icons/zendra.svg into the PNG sizes under data/icons/ (the
# PNGs are committed; run this again after changing the SVG). Needs
# rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" zendra.svg -o "zendra-$size.png"
done

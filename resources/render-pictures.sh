#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the PNG pictures from their SVG sources (needs rsvg-convert, Debian
# package librsvg2-bin). The PNGs are checked in; run this after editing an SVG.
set -euo pipefail
cd "$(dirname "$0")"
for mark in pellix_menu_icon zarkleSMASHr; do
  rsvg-convert -w 22 -h 22 "$mark.svg" -o "$mark.png"
  rsvg-convert -w 44 -h 44 "$mark.svg" -o "$mark@2x.png"
done
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" pellix-growl.svg -o "pellix-growl-$size.png"
done

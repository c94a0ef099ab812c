#!/usr/bin/env bash
# The demo files in docs/demo are what the drawing program makes: the map byte for byte,
# the parts sheet pixel for pixel (the PNG's compressed bytes may differ between library
# versions). A change to the drawing without new files, or a damaged file, fails here.
# Usage: demo-files.sh <qm_demogen> <docs/demo folder>
set -euo pipefail
generator="$1"
committed="$2"
command -v convert >/dev/null || { echo "convert is missing: install the packages of scripts/install-deps.sh" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen "$generator" "$work" >/dev/null
cmp "$committed/demo.mpd" "$work/demo.mpd" ||
    { echo "FAIL: docs/demo/demo.mpd is not the map the generator paints: run scripts/make-demo.sh" >&2; exit 1; }
[ "$(identify -format '%wx%h' "$committed/demo-parts.png")" = 512x512 ] ||
    { echo "FAIL: docs/demo/demo-parts.png is not a 512 x 512 sheet" >&2; exit 1; }
cmp <(convert "$committed/demo-parts.png" rgb:-) <(convert "$work/demo-parts.png" rgb:-) ||
    { echo "FAIL: docs/demo/demo-parts.png is not the sheet the generator draws: run scripts/make-demo.sh" >&2; exit 1; }
echo "ok: docs/demo holds the generated demo map and parts sheet"

#!/usr/bin/env bash
# Draws the demo parts sheet and paints the demo map into docs/demo (or the folder given):
# demo-parts.png, 16 x 16 parts of 32 x 32, and demo.mpd, a type 2 map painted with them.
# The screenshot scripts open them. Builds the small drawing program first if needed.
# Usage: scripts/make-demo.sh [output folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-$root/docs/demo}")"
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target qm_demogen
QT_QPA_PLATFORM=offscreen "$build/tools/demogen/qm_demogen" "$out"

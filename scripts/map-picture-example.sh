#!/usr/bin/env bash
# The full-map picture shown in the README: a 64 x 40 map of 16 x 16 parts, a quilt of
# diagonal bands, drawn by quiltmapper-cli from a parts sheet made with ImageMagick.
# Usage: scripts/map-picture-example.sh [output.png]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-map-picture.png}")"
cli="$build/tools/quiltmapper-cli/quiltmapper-cli"
[ -x "$cli" ] || { echo "build the program first: scripts/build.sh" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# The parts sheet: 16 x 16 parts of 16 x 16 pixels, each a patch of a seeded plasma with a
# dark frame, so that every part looks different and the cells show where they meet.
lines=""
for ((i = 0; i < 256; i += 16)); do
  lines+="line $i,0 $i,255 line 0,$i 255,$i "
done
convert -size 256x256 -seed 7 plasma:steelblue-khaki -fill none -stroke '#00000060' \
  -draw "$lines" -type TrueColor "$scratch/parts.png"

# The map: type 2, 64 x 40 cells, part (x + 2y) / 3 mod 64 + 16 * ((x / 8 + y / 5) mod 4).
w=64 h=40
{
  printf 'QuiltmapperDataFormat20'
  printf '\x10\x00\x10\x00'
  printf "\\x$(printf %02x $w)\\x00\\x$(printf %02x $h)\\x00"
  for ((y = 0; y < h; y++)); do
    for ((x = 0; x < w; x++)); do
      printf "\\x$(printf %02x $(( ((x + 2 * y) / 3) % 64 + 16 * ((x / 8 + y / 5) % 4) )))"
    done
  done
} > "$scratch/quilt.mpd"

"$cli" render "$scratch/quilt.mpd" "$scratch/parts.png" "$out" --png-level 9

#!/bin/bash
# Times the command-line tool's TMX import and export (at zlib's default level and at level
# 1) of a 4000 x 4000 map of 32 x 32 parts (base64 + zlib) beside Tiled converting the same
# file TMX to TMX, and prints the wall times and memory peaks of each (/usr/bin/time -v).
# Tiled is only a peer here; without it the script says so and stops.
#
# Usage: scripts/tmx-beside-tiled.sh [path/to/quiltmapper-cli]
set -euo pipefail

cli=${1:-"$(dirname "$0")/../build/tools/quiltmapper-cli/quiltmapper-cli"}
if ! command -v tiled >/dev/null; then
    echo "tiled is not installed: no comparison (apt-get install tiled to run it)"
    exit 0
fi
if [ ! -x "$cli" ]; then
    echo "no quiltmapper-cli at $cli" >&2
    exit 1
fi
cli=$(realpath "$cli")
if [ ! -x /usr/bin/time ]; then
    echo "/usr/bin/time is needed (apt-get install time)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The map: 4000 x 4000 cells, 16 parts at random; a 512 x 512 parts sheet as BMP.
"$cli" new 4000 4000 map.mpd --part 32x32 >/dev/null
python3 - <<'EOF'
import random, struct
random.seed(1)
with open("map.mpd", "r+b") as f:
    f.seek(31)
    f.write(bytes(random.getrandbits(4) for _ in range(4000 * 4000)))
side = 512
row = bytes((x * 7 + y) % 256 for x in range(side) for y in (0, 1, 2))
pixels = row * side
with open("parts.bmp", "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, side, side, 1, 24, 0, len(pixels), 2835, 2835, 0, 0))
    f.write(pixels)
EOF

# Runs a command under /usr/bin/time -v; prints "<seconds> <peak MB>".
measure() {
    /usr/bin/time -v "$@" >/dev/null 2>time.txt || { cat time.txt >&2; exit 1; }
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
                                            for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
                /Maximum resident set size/ { kb = $2 }
                END { printf "%.2f %.0f\n", s, kb / 1024 }' time.txt
}

read -r ours_export_s ours_export_mb < <(measure "$cli" export map.mpd ours.tmx --parts parts.bmp \
    --encoding zlib)
read -r fast_export_s fast_export_mb < <(measure "$cli" export map.mpd fast.tmx --parts parts.bmp \
    --encoding zlib --level 1)
read -r ours_import_s ours_import_mb < <(measure "$cli" import ours.tmx back.mpd)
cmp -s <(tail -c +32 map.mpd) <(tail -c +32 back.mpd) || { echo "our round trip differs" >&2; exit 1; }
read -r tiled_s tiled_mb < <(QT_QPA_PLATFORM=offscreen measure tiled --export-map ours.tmx tiled.tmx)
# What Tiled wrote reads back cell for cell.
"$cli" import tiled.tmx tiled-back.mpd >/dev/null
cmp -s <(tail -c +32 map.mpd) <(tail -c +32 tiled-back.mpd) ||
    { echo "Tiled's file reads back differently" >&2; exit 1; }

printf "%-32s %8s %8s\n" "" "seconds" "peak MB"
printf "%-32s %8s %8s\n" "quiltmapper-cli export" "$ours_export_s" "$ours_export_mb"
printf "%-32s %8s %8s\n" "quiltmapper-cli export --level 1" "$fast_export_s" "$fast_export_mb"
printf "%-32s %8s %8s\n" "quiltmapper-cli import" "$ours_import_s" "$ours_import_mb"
printf "%-32s %8s %8s\n" "tiled --export-map (TMX to TMX)" "$tiled_s" "$tiled_mb"
awk -v a="$ours_export_s" -v b="$ours_import_s" -v t="$tiled_s" -v pa="$ours_export_mb" \
    -v pb="$ours_import_mb" -v pt="$tiled_mb" 'BEGIN {
        ours = a + b; peak = pa > pb ? pa : pb
        printf "import + export (default level): %.2f s, %.1fx faster than Tiled; peak %.0f MB, %.2f of Tiled'\''s\n",
               ours, t / ours, peak, peak / pt }'
echo "file: $(stat -c %s ours.tmx) bytes (ours), $(stat -c %s tiled.tmx) bytes (Tiled)"

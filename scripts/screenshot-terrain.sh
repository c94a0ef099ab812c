#!/usr/bin/env bash
# A screenshot of terrain painting: a parts picture whose first 4 x 4 parts are the standard
# corner layout of grass and water, its NAME.tsx with that set as the terrain editor writes
# it, the editor opened in the parts window, and water painted with the terrain tool (F5).
# Usage: scripts/screenshot-terrain.sh [output.png]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-terrain.png}")"
editor="$build/src/app/quiltmapper"
[ -x "$editor" ] || { echo "build the program first: scripts/build.sh" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$editor" "$scratch/quiltmapper"

# The parts: each of the 16 shows grass and water by its corners, the shore where the
# blend of the four corners crosses one half, so that neighbours that match join smoothly.
python3 - "$scratch" <<'PY'
import math, struct, sys, zlib
folder = sys.argv[1]
side, sheet = 32, 16
grid = [[1, 1, 1, 0], [1, 1, 0, 1], [0, 1, 0, 0], [1, 0, 0, 0]]  # 1: grass at the corner
pixels = [[(48, 48, 48)] * (side * sheet) for _ in range(side * sheet)]
tiles = []
for r in range(4):
    for c in range(4):
        tl, tr = grid[r][c], grid[r][(c + 1) % 4]
        bl, br = grid[(r + 1) % 4][c], grid[(r + 1) % 4][(c + 1) % 4]
        colour = lambda g: 1 if g else 2
        tiles.append((r * sheet + c, [0, colour(tr), 0, colour(br), 0, colour(bl), 0, colour(tl)]))
        for y in range(side):
            for x in range(side):
                u, w = (x + 0.5) / side, (y + 0.5) / side
                v = tl * (1 - u) * (1 - w) + tr * u * (1 - w) + bl * (1 - u) * w + br * u * w
                v += 0.9 * u * (1 - u) * w * (1 - w) * math.sin(x * 0.7 + y * 1.3)
                gx, gy = c * side + x, r * side + y
                speck = (gx * 7 + gy * 13) % 11
                if v > 0.5:
                    pixel = (70 + speck * 3, 150 + speck * 4, 60)
                elif v > 0.4:
                    pixel = (222, 204, 140 - speck * 2)
                else:
                    wave = 25 if (gy + int(4 * math.sin(gx * 0.4))) % 9 == 0 else 0
                    pixel = (50 + wave, 110 + wave, 200 + wave // 2)
                pixels[gy][gx] = pixel
raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)
chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                            struct.pack(">I", zlib.crc32(kind + data)))
size = side * sheet
with open(f"{folder}/terrain-parts.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
with open(f"{folder}/terrain-parts.tsx", "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<tileset version="1.8" name="terrain-parts" tilewidth="32" tileheight="32" '
            'tilecount="256" columns="16">\n'
            ' <image source="terrain-parts.png" width="512" height="512"/>\n'
            ' <wangsets>\n'
            '  <wangset name="水辺" type="corner" tile="0">\n'
            '   <wangcolor name="草地" color="#46a03c" tile="0" probability="1"/>\n'
            '   <wangcolor name="水" color="#326ec8" tile="34" probability="1"/>\n')
    for tile, wangid in tiles:
        f.write(f'   <wangtile tileid="{tile}" wangid="{",".join(map(str, wangid))}"/>\n')
    f.write('  </wangset>\n </wangsets>\n</tileset>\n')
PY

cat > "$scratch/Quiltmapper.ini" <<INI
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=10
WindowState.Y=10
WindowState.XSize=620
WindowState.YSize=560
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=650
WindowState.Y=10
WindowState.XSize=570
WindowState.YSize=600
[ToolBox]
WindowState.X=10
WindowState.Y=630
[options]
isShowTitle=0
[MapPartsPictures]
Last.Picture=$scratch/terrain-parts.png
Last.PartWidth=32
Last.PartHeight=32
Last.Width=512
Last.Height=512
[Terrain]
Set=水辺
Color=2
INI

cat > "$scratch/drive.sh" <<'DRIVE'
set -euo pipefail
export LC_ALL=C.UTF-8
"$1/quiltmapper" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)"
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)"
sleep 1
xdotool windowfocus --sync "$parts"
xdotool key --clearmodifiers alt+v
sleep 0.3
xdotool key --clearmodifiers t
sleep 0.5
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F5
sleep 0.3
stroke() {
    xdotool mousemove --window "$main" "$1" "$2" mousedown 1
    for step in $(seq 1 16); do
        xdotool mousemove --window "$main" $(($1 + ($3 - $1) * step / 16)) $(($2 + ($4 - $2) * step / 16))
    done
    xdotool mouseup 1
}
stroke 120 150 420 170
stroke 420 170 470 380
stroke 200 320 330 420
stroke 500 120 560 140
xdotool mousemove --window "$main" 600 500
sleep 1
import -window root "$2"
kill $pid
DRIVE
HOME="$scratch" xvfb-run -a -s "-screen 0 1600x760x24" bash "$scratch/drive.sh" "$scratch" "$out"
echo "wrote $out"

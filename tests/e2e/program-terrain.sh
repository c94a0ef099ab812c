#!/usr/bin/env bash
# The terrain brush in the real program, driven from outside as a user would: a parts sheet
# with a corner terrain set beside it (parts.tsx), a map of water that has that sheet as its
# parts picture, F5 in the main window, a stroke of grass dragged across the map, Ctrl+S; the
# saved map must hold grass where the stroke went and parts whose corners match their
# neighbours' everywhere.
# Usage: program-terrain.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool convert python3

# Part n of 16: its corners top-left, top-right, bottom-right, bottom-left are bits 0..3,
# a set bit grass (1), a clear one water (2); part 0 is all water.
cornerColor() { echo $((2 - ($1 >> $2 & 1))); }
draw=()
tiles=""
for n in $(seq 0 15); do
    x=$((n * 32))
    fill=(blue green)
    tl=$(cornerColor $n 0); tr=$(cornerColor $n 1); br=$(cornerColor $n 2); bl=$(cornerColor $n 3)
    q() { [ "$1" = 1 ] && echo green || echo blue; }
    draw+=(-fill "$(q $tl)" -draw "rectangle $x,0 $((x + 15)),15")
    draw+=(-fill "$(q $tr)" -draw "rectangle $((x + 16)),0 $((x + 31)),15")
    draw+=(-fill "$(q $br)" -draw "rectangle $((x + 16)),16 $((x + 31)),31")
    draw+=(-fill "$(q $bl)" -draw "rectangle $x,16 $((x + 15)),31")
    tiles+="  <wangtile tileid=\"$n\" wangid=\"0,$tr,0,$br,0,$bl,0,$tl\"/>"$'\n'
done
convert -size 512x512 xc:black "${draw[@]}" "$work/parts.png"
cat > "$work/parts.tsx" <<TSX
<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" name="parts" tilewidth="32" tileheight="32" tilecount="256" columns="16">
 <image source="parts.png" width="512" height="512"/>
 <wangsets>
  <wangset name="shore" type="corner" tile="-1">
   <wangcolor name="grass" color="#00ff00" tile="-1" probability="1"/>
   <wangcolor name="water" color="#0000ff" tile="-1" probability="1"/>
$tiles  </wangset>
 </wangsets>
</tileset>
TSX
# A 40 x 30 map of part 0 (type 2: the magic, part size, map size, the cells row by row).
python3 - "$work/map.mpd" <<'PY'
import struct, sys
with open(sys.argv[1], "wb") as f:
    f.write(b"QuiltmapperDataFormat20" + struct.pack("<4H", 32, 32, 40, 30) + bytes(40 * 30))
PY
cat > "$work/Quiltmapper.ini" <<INI
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=20
WindowState.Y=20
WindowState.XSize=720
WindowState.YSize=520
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=760
WindowState.Y=20
WindowState.XSize=1100
WindowState.YSize=400
[ToolBox]
WindowState.X=760
WindowState.Y=600
[MapPartsPictures]
Count=1
Map1=$work/map.mpd
Map1.Picture=$work/parts.png
Map1.PartWidth=32
Map1.PartHeight=32
Map1.Width=512
Map1.Height=512
Last.Picture=$work/parts.png
Last.PartWidth=32
Last.PartHeight=32
Last.Width=512
Last.Height=512
[options]
isShowTitle=0
INI
cp "$work/map.mpd" "$work/before.mpd"

"$work/quiltmapper" "$work/map.mpd" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)" || true
[ -n "$main" ] || fail "the main window did not appear"
sleep 1.5

# F5: the terrain brush, with the set's first terrain, grass.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F5
sleep 0.5
# A stroke across the map, well below the menu bar.
xdotool mousemove --window "$main" 70 120 mousedown 1
for i in $(seq 1 20); do xdotool mousemove --window "$main" $((70 + i * 12)) $((120 + i * 8)); done
xdotool mouseup 1
sleep 0.5
xdotool key --clearmodifiers ctrl+s
for _ in $(seq 50); do cmp -s "$work/map.mpd" "$work/before.mpd" || break; sleep 0.1; done
cmp -s "$work/map.mpd" "$work/before.mpd" && fail "the saved map is unchanged: the stroke did not paint"

python3 - "$work/map.mpd" <<'PY' || fail "the saved map is not a seamless terrain stroke"
import struct, sys
data = open(sys.argv[1], "rb").read()
magic = b"QuiltmapperDataFormat20"
assert data.startswith(magic), "not a type 2 map"
pw, ph, w, h = struct.unpack_from("<4H", data, len(magic))
cells = data[len(magic) + 8:]
assert len(cells) == w * h, "cells missing"
cell = lambda x, y: cells[y * w + x]
# Corners of part n: top-left, top-right, bottom-right, bottom-left; grass is 1.
corner = lambda n, i: 2 - (n >> i & 1)
painted = sum(1 for c in cells if c != 0)
assert all(c < 16 for c in cells), "a part outside the set"
for y in range(h):
    for x in range(w):
        a = cell(x, y)
        if x + 1 < w:
            b = cell(x + 1, y)
            assert (corner(a, 1), corner(a, 2)) == (corner(b, 0), corner(b, 3)), f"seam right of ({x},{y})"
        if y + 1 < h:
            b = cell(x, y + 1)
            assert (corner(a, 3), corner(a, 2)) == (corner(b, 0), corner(b, 1)), f"seam below ({x},{y})"
assert painted >= 8, f"only {painted} cells painted"
print(f"ok: {painted} cells carry the grass stroke, no seam")
PY

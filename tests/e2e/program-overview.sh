#!/usr/bin/env bash
# The overview window in the real program, driven from outside: a 3000 x 3000 map whose
# bottom-right quarter holds part 1 and the rest part 0 is opened; a click near the
# overview's bottom-right corner brings the main view there (its cells show part 1), a
# click near its top-left corner brings it back to the map's top-left (the first picture).
# Usage: program-overview.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool import compare
cat > "$work/Quiltmapper.ini" <<'INI'
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=20
WindowState.Y=40
WindowState.XSize=620
WindowState.YSize=500
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=900
WindowState.Y=40
WindowState.XSize=1500
WindowState.YSize=600
[ToolBox]
WindowState.X=20
WindowState.Y=600
[Overview]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=660
WindowState.Y=40
WindowState.XSize=860
WindowState.YSize=240
Visible=1
[options]
isShowTitle=0
INI

# A type 2 map file: magic, part size 32 x 32, map size 3000 x 3000, cells row by row.
map="$work/big.mpd"
printf 'QuiltmapperDataFormat20\x20\x00\x20\x00\xb8\x0b\xb8\x0b' > "$map"
head -c $((1500 * 3000)) /dev/zero >> "$map"
{ head -c 1500 /dev/zero; head -c 1500 /dev/zero | tr '\0' '\1'; } > "$work/row"
for _ in $(seq 1500); do cat "$work/row"; done >> "$map"
[ "$(stat -c %s "$map")" -eq $((31 + 3000 * 3000)) ] || fail "the map file was not made whole"

"$work/quiltmapper" "$map" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)" || true
overview="$(timeout 20 xdotool search --sync --name '全体図' | head -1)" || true
[ -n "$main" ] && [ -n "$overview" ] || fail "the main window or the overview did not appear"
sleep 1

# The map grid's cells, below the menu bar and above the status bar and scroll bar.
shot() { import -window "$main" -crop 560x360+10+40 +repage "$work/$1.png"; }
differs() { [ "$(compare -metric AE "$work/$1.png" "$work/$2.png" null: 2>&1 || true)" != 0 ]; }
shot start
xdotool mousemove --window "$overview" 185 185 click 1
sleep 0.5
shot corner
differs start corner || fail "a click in the overview's corner did not move the main view"
xdotool mousemove --window "$overview" 3 3 click 1
sleep 0.5
shot back
differs start back && fail "a click at the overview's top-left did not bring the main view back"
echo "ok: clicks in the overview moved the main view to the map's far corner and back"

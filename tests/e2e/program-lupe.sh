#!/usr/bin/env bash
# Part-graphic editing in the real program, driven from outside as a user would: the zoom
# level chosen in the tool box, F4 in the main window, a stroke drawn in the magnifier, a
# click on another cell to store it, Ctrl+S in the parts window; the saved parts sheet must
# hold the stroke in part 0.
# Usage: program-lupe.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool convert
cat > "$work/Quiltmapper.ini" <<'INI'
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
WindowState.XSize=1300
WindowState.YSize=400
[ToolBox]
WindowState.X=760
WindowState.Y=600
[options]
isShowTitle=0
INI


"$work/quiltmapper" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)" || true
[ -n "$main" ] || fail "the main window did not appear"
tools="$(timeout 20 xdotool search --sync --name 'ツールボックス' | head -1)" || true
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)" || true
[ -n "$tools" ] && [ -n "$parts" ] || fail "the tool box or the parts window did not appear"
sleep 1

# "zoom" in the tool box's zoom group (the group box at 168,0, its third radio at 128,15).
xdotool mousemove --window "$tools" 304 23 click 1
sleep 0.5
# F4: part-graphic editing; the magnifier covers the current cell, (0, 0), 256 x 256.
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F4
sleep 0.5
# A freehand stroke across the magnifier, well below the menu bar, in the default black.
xdotool mousemove --window "$main" 40 110 mousedown 1
for x in $(seq 48 8 200); do xdotool mousemove --window "$main" "$x" 110; done
xdotool mouseup 1
sleep 0.3
# A click on the next cell stores the picture into part 0.
xdotool mousemove --window "$main" 380 110 click 1
sleep 0.5

# Ctrl+S in the parts window asks for a name and writes the sheet.
xdotool windowfocus --sync "$parts"
xdotool key --clearmodifiers ctrl+s
sleep 1
xdotool type --delay 10 "$work/saved.bmp"
xdotool key Return
for _ in $(seq 50); do [ -s "$work/saved.bmp" ] && break; sleep 0.1; done
[ -s "$work/saved.bmp" ] || fail "nothing was saved: the parts were not modified by the stroke"

# Part 0 is the sheet's top-left 32 x 32; the stroke is a horizontal run of black pixels
# about 20 long (the magnifier enlarges 8 times), which the white placeholder never has.
longest="$(convert "$work/saved.bmp" -crop 32x32+0+0 +repage txt:- |
    awk -F'[,: ]+' 'NR > 1 && $0 ~ /#000000/ { run[$2]++ } END { m = 0; for (r in run) if (run[r] > m) m = run[r]; print m }')"
[ "$longest" -ge 16 ] || fail "part 0 of the saved sheet holds no stroke (longest black run in a row: $longest)"
echo "ok: the stroke drawn in the magnifier is in part 0 of the saved sheet ($longest pixels)"

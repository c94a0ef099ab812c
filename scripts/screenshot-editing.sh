#!/usr/bin/env bash
# A screenshot of part-graphic editing: the editor on a virtual X display, the zoom level
# chosen, F4, a few strokes drawn in the magnifier over cell (0, 0).
# Usage: scripts/screenshot-editing.sh [output.png]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-editing.png}")"
editor="$build/src/app/quiltmapper"
[ -x "$editor" ] || { echo "build the program first: scripts/build.sh" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$editor" "$scratch/quiltmapper"
cat > "$scratch/Quiltmapper.ini" <<'INI'
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=20
WindowState.Y=20
WindowState.XSize=720
WindowState.YSize=560
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=760
WindowState.Y=20
WindowState.XSize=1300
WindowState.YSize=560
[ToolBox]
WindowState.X=760
WindowState.Y=620
[options]
isShowTitle=0
INI

cat > "$scratch/drive.sh" <<'DRIVE'
set -euo pipefail
export LC_ALL=C.UTF-8
"$1/quiltmapper" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)"
tools="$(timeout 20 xdotool search --sync --name 'ツールボックス' | head -1)"
sleep 1
xdotool mousemove --window "$tools" 304 23 click 1
sleep 0.3
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers F4
sleep 0.3
stroke() {
    xdotool mousemove --window "$main" "$1" "$2" mousedown 1
    for step in $(seq 1 12); do
        xdotool mousemove --window "$main" $(($1 + ($3 - $1) * step / 12)) $(($2 + ($4 - $2) * step / 12))
    done
    xdotool mouseup 1
}
stroke 60 120 200 120
stroke 60 120 130 250
stroke 200 120 130 250
xdotool mousemove --window "$main" 500 400
sleep 1
import -window root "$2"
kill $pid
DRIVE
xvfb-run -a -s "-screen 0 1280x800x24" bash "$scratch/drive.sh" "$scratch" "$out"
echo "wrote $out"

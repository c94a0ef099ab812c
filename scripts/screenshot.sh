#!/usr/bin/env bash
# Starts the editor on a virtual X display with the demo map of docs/demo and its parts
# sheet, and saves a screenshot of the whole screen. Xvfb has no window manager to place
# windows, so the editor runs from a copy in a scratch folder whose settings file lays the
# three windows out side by side and names the parts sheet the map was painted with.
# Usage: scripts/screenshot.sh [output.png] [seconds to wait]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-shot.png}")"
wait="${2:-5}"
editor="$build/src/app/quiltmapper"
[ -x "$editor" ] || { echo "build the program first: scripts/build.sh" >&2; exit 1; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cp "$editor" "$scratch/quiltmapper"
cp "$root/docs/demo/demo.mpd" "$root/docs/demo/demo-parts.png" "$scratch/"
cat > "$scratch/Quiltmapper.ini" <<INI
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=20
WindowState.Y=20
WindowState.XSize=920
WindowState.YSize=640
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.X=940
WindowState.Y=20
WindowState.XSize=1490
WindowState.YSize=600
[ToolBox]
WindowState.X=940
WindowState.Y=640
[options]
isShowTitle=0
[MapPartsPictures]
Count=1
Map1=$scratch/demo.mpd
Map1.Picture=$scratch/demo-parts.png
Map1.PartWidth=32
Map1.PartHeight=32
Map1.Width=512
Map1.Height=512
INI

xvfb-run -a -s "-screen 0 1500x700x24" bash -c "
  '$scratch/quiltmapper' '$scratch/demo.mpd' &
  pid=\$!
  sleep '$wait'
  import -window root '$out'
  kill \$pid
"
echo "wrote $out"

#!/usr/bin/env bash
# Starts the editor on a virtual X display and saves a screenshot of the whole screen.
# Usage: scripts/screenshot.sh [output.png] [seconds to wait]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-shot.png}")"
wait="${2:-5}"
editor="$build/src/app/quiltmapper"
[ -x "$editor" ] || { echo "build the program first: scripts/build.sh" >&2; exit 1; }
xvfb-run -a -s "-screen 0 1600x1000x24" bash -c "
  '$editor' &
  pid=\$!
  sleep '$wait'
  import -window root '$out'
  kill \$pid
"
echo "wrote $out"

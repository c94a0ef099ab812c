# Shared by the scripts that drive the real program (sourced, not run):
#   source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" <quiltmapper executable> <tools...>
# It checks that the tools are installed, copies the program into a fresh folder $work
# (the program keeps its settings beside it), and at exit ends the program ($pid), the
# script's own extraCleanup, the window manager if one was started, and removes $work.
set -euo pipefail
export LC_ALL=C.UTF-8 # the window titles are Japanese: xdotool matches them only in UTF-8
program="$1"
shift
e2eDir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for tool in "$@"; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is missing: install the packages of scripts/install-deps.sh" >&2; exit 1; }
done
source "$e2eDir/window-manager.sh"

work="$(mktemp -d)"
pid=""
extraCleanup() { :; }
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    extraCleanup
    stopWindowManager
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cp "$program" "$work/quiltmapper"

# The main window and the parts window side by side, the tool box below, no title window.
writeSideBySideSettings() {
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
WindowState.X=660
WindowState.Y=40
WindowState.XSize=1260
WindowState.YSize=600
[ToolBox]
WindowState.X=20
WindowState.Y=600
[options]
isShowTitle=0
INI
}

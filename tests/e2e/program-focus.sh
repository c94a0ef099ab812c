#!/usr/bin/env bash
# Focus after a dialog of the parts window, in the real program under a window manager:
# the parts window active, its load dialog opened from the keyboard (Alt+F, R) and closed
# with Escape; the parts window must be the active window again, and the same keys must
# open the parts window's dialog once more (in the main window they would not).
# Usage: program-focus.sh <quiltmapper executable>   (run inside xvfb-run)
set -euo pipefail
export LC_ALL=C.UTF-8 # the window titles are Japanese
program="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
for tool in xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: install the packages of scripts/install-deps.sh" >&2; exit 1; }
done
source "$here/window-manager.sh"

work="$(mktemp -d)"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    stopWindowManager
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$program" "$work/quiltmapper"
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

startWindowManager
"$work/quiltmapper" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)" || true
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)" || true
[ -n "$main" ] && [ -n "$parts" ] || fail "the main window or the parts window did not appear"
sleep 1

dialogTitle='^パーツ画像の読み込み$'
waitActive() { # window id; true once it is the active window
    for _ in $(seq 50); do
        [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
openLoadDialog() { # Alt+F, R in the active window; prints the dialog's id if one opens
    xdotool key --clearmodifiers alt+f
    sleep 0.3
    xdotool key --clearmodifiers r
    timeout 5 xdotool search --sync --onlyvisible --name "$dialogTitle" | head -1 || true
}

xdotool windowactivate --sync "$parts"
waitActive "$parts" || fail "the parts window could not be activated"
dialog="$(openLoadDialog)"
[ -n "$dialog" ] || fail "Alt+F, R in the parts window opened no load dialog"
waitActive "$dialog" || fail "the load dialog did not become active"
xdotool key --clearmodifiers Escape
for _ in $(seq 50); do
    xdotool search --onlyvisible --name "$dialogTitle" >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name "$dialogTitle" >/dev/null 2>&1 && fail "Escape left the load dialog open"
sleep 0.5

active="$(xdotool getactivewindow 2>/dev/null || true)"
[ "$active" = "$parts" ] ||
    fail "after the dialog the active window is $active ($(xdotool getwindowname "$active" 2>/dev/null || echo none)), not the parts window $parts"
# The next keys reach the parts window: they open its dialog again.
dialog="$(openLoadDialog)"
[ -n "$dialog" ] || fail "the keys after the dialog did not reach the parts window"
xdotool key --clearmodifiers Escape
echo "ok: the parts window is active after its dialog and takes the next keys"

#!/usr/bin/env bash
# Tool box hints while the user works in the map, in the real program under a window
# manager: the main window active after a click in the map, the pointer resting on a
# tool box button; a hint window must appear, and the main window must stay active.
# Usage: program-hints.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool xprop
writeSideBySideSettings

# The program's visible windows that the window system calls hints (tooltips).
hintWindows() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && echo "$id"
    done
    return 0
}

startWindowManager
"$work/quiltmapper" &
pid=$!
main="$(timeout 20 xdotool search --sync --name '^Quiltmapper - ' | head -1)" || true
tools="$(timeout 20 xdotool search --sync --name 'ツールボックス' | head -1)" || true
[ -n "$main" ] && [ -n "$tools" ] || fail "the main window or the tool box did not appear"
sleep 1

# Work in the map: a click on a cell of the main window.
xdotool windowactivate --sync "$main"
xdotool mousemove --window "$main" 200 200 click 1
sleep 0.5
[ "$(xdotool getactivewindow)" = "$main" ] || fail "the main window is not active after a click in the map"
[ -z "$(hintWindows)" ] || fail "a hint shows before the pointer reaches the tool box"

# Rest the pointer on the tool box's first button (the paint tool).
xdotool mousemove --window "$tools" 18 14
sleep 0.2
xdotool mousemove --window "$tools" 20 16
hint=""
for _ in $(seq 40); do
    hint="$(hintWindows | head -1)"
    [ -n "$hint" ] && break
    sleep 0.1
done
[ -n "$hint" ] || fail "no hint appeared over the tool box while the main window was active"
[ "$(xdotool getactivewindow)" = "$main" ] || fail "showing the hint took the activation from the main window"
echo "ok: the tool box shows its hint while the main window is active"

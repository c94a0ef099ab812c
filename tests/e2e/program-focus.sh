#!/usr/bin/env bash
# Focus after a dialog of the parts window, in the real program under a window manager:
# the parts window active, its load dialog opened from the keyboard (Alt+F, R) and closed
# with Escape; the parts window must be the active window again, and the same keys must
# open the parts window's dialog once more (in the main window they would not).
# Usage: program-focus.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool xprop
writeSideBySideSettings

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

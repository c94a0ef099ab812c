#!/usr/bin/env bash
# Window placements survive a restart exactly, in the real program: started with stored
# placements, closed from its menu, started and closed again; the placements the settings
# file holds must be those it started with. Without a window manager and under one
# (openbox), with the parts window and the tool box kept on top and not.
# Usage: program-placement.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool xprop

writeSettings() { # on top: 0 or 1
    cat > "$work/Quiltmapper.ini" <<INI
[MainWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.MaxX=-1
WindowState.MaxY=-1
WindowState.X=20
WindowState.Y=40
WindowState.XSize=620
WindowState.YSize=500
[PartsWindow]
WindowState.Flags=0
WindowState.Show=1
WindowState.MaxX=-1
WindowState.MaxY=-1
WindowState.X=660
WindowState.Y=40
WindowState.XSize=1260
WindowState.YSize=640
[ToolBox]
WindowState.X=20
WindowState.Y=600
[Overview]
WindowState.Flags=0
WindowState.Show=1
WindowState.MaxX=-1
WindowState.MaxY=-1
WindowState.X=420
WindowState.Y=600
WindowState.XSize=620
WindowState.YSize=800
isOnTop=$1
[options]
isShowTitle=0
isPartsOnTop=$1
isToolsOnTop=$1
INI
}

# The placement keys of the four windows, one "section key=value" a line.
placements() {
    awk '/^\[/ { section = $0 } /^WindowState\./ { print section, $0 }' "$work/Quiltmapper.ini" | sort
}

# One run of the program: start it, wait for its three windows, close it from the main
# window's menu and wait until it has ended and written its settings.
runOnce() {
    "$work/quiltmapper" &
    pid=$!
    local main parts tools
    # A new search each run: the previous run's windows are gone with their process.
    main="$(timeout 20 xdotool search --sync --onlyvisible --name '^Quiltmapper - ' | head -1)" || true
    parts="$(timeout 20 xdotool search --sync --onlyvisible --name 'パーツウィンドウ' | head -1)" || true
    tools="$(timeout 20 xdotool search --sync --onlyvisible --name 'ツールボックス' | head -1)" || true
    [ -n "$main" ] && [ -n "$parts" ] && [ -n "$tools" ] || fail "$1: a window did not appear"
    sleep 1
    # Under a window manager the window kept on top must be kept there, or the run proves
    # nothing about such a window.
    if [ "$2" = openbox ]; then
        local above=0
        xprop -id "$parts" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE && above=1
        [ "$above" = "$3" ] || fail "$1: the parts window is kept on top: $above"
    fi
    xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers alt+f
    sleep 0.3
    xdotool key --clearmodifiers x
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "$1: the program did not end from its menu"
    wait "$pid" || true
    pid=""
}

for manager in none openbox; do
    [ "$manager" = openbox ] && startWindowManager
    for onTop in 0 1; do
        label="window manager $manager, on top $onTop"
        writeSettings "$onTop"
        expected="$(placements)"
        for run in 1 2; do
            runOnce "$label" "$manager" "$onTop"
            got="$(placements)"
            if [ "$got" != "$expected" ]; then
                diff <(echo "$expected") <(echo "$got") >&2 || true
                fail "$label: after run $run the placements moved (above: as started < > as stored)"
            fi
        done
        echo "ok: $label"
    done
done

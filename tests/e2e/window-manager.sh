# Shared by the end-to-end scripts that need a window manager (sourced, not run):
# startWindowManager starts openbox on the current display and waits until it manages
# windows; stopWindowManager ends it.
wmPid=""
wmLog=""

startWindowManager() {
    command -v openbox >/dev/null ||
        { echo "openbox is missing: install the packages of scripts/install-deps.sh" >&2; return 1; }
    wmLog="$(mktemp)"
    # Now and then openbox ends at once on a server that has just started: a few attempts.
    for _ in 1 2 3; do
        openbox --sm-disable >"$wmLog" 2>&1 &
        wmPid=$!
        # A window manager announces itself on the root window once it runs.
        for _ in $(seq 100); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
            kill -0 "$wmPid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$wmPid" 2>/dev/null || true
        wait "$wmPid" 2>/dev/null || true
        wmPid=""
        sleep 0.5
    done
    echo "openbox did not start: $(cat "$wmLog")" >&2
    return 1
}

stopWindowManager() {
    if [ -n "$wmPid" ]; then
        kill "$wmPid" 2>/dev/null || true
        wait "$wmPid" 2>/dev/null || true
        wmPid=""
    fi
    if [ -n "$wmLog" ]; then
        rm -f "$wmLog"
        wmLog=""
    fi
}

#!/bin/sh
# Runs a test program on a private X server of its own.
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-run is missing: install the packages of scripts/install-deps.sh" >&2
    exit 1
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"

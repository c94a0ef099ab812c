#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; prints CTest's summary.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
QM_BUILD_DIR="$build" "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure --timeout 600 -j "$(nproc 2>/dev/null || echo 2)"

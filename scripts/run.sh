#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quiltmapper.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
QM_BUILD_DIR="$build" "$root/scripts/build.sh"
exec "$build/src/app/quiltmapper" "$@"

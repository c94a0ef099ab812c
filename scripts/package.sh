#!/usr/bin/env bash
# Makes the Debian package quiltmapper_VERSION_ARCH.deb in the current folder: installs what
# is missing, builds (Release) into ./build or $QM_BUILD_DIR, and packs the install rules with
# CPack. Install it with: sudo apt install ./quiltmapper_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QM_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
QM_BUILD_DIR="$build" "$root/scripts/build.sh"
out="$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out")
for deb in "$out"/quiltmapper_*.deb; do
  cp "$deb" .
  echo "package: $PWD/$(basename "$deb")"
done

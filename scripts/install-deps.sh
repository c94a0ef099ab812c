#!/usr/bin/env bash
# Installs every Debian package Quiltmapper needs to build, test and run.
# Works as root and, through sudo, as a normal user. Does nothing when all are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  zlib1g-dev libisal-dev libpng-dev libwebp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk
  xvfb xauth xclip xdotool x11-utils imagemagick
  openbox desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl
  # The Debian package (scripts/package.sh) and its test.
  librsvg2-bin help2man file lintian appstream
  # A peer for the terrain tests: they check that another editor reads the terrain sets we
  # write, and that we read what it writes (skipped when it is absent).
  tiled
  # Optional: the fuzzer build (scripts/fuzz.sh); ctest replays the corpus without it.
  clang libclang-rt-14-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: these packages are missing and neither root nor sudo is available: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the project into a scratch prefix and checks what a desktop needs: the programs,
# Qt's Japanese texts, a valid menu entry, the icon, and a map file type under which the
# file manager knows a type 2 map by its first bytes and a type 1 map by its extension.
# Exits 77 (skipped) where the desktop tools are missing; scripts/install-deps.sh installs them.
set -euo pipefail
build="$1"
for tool in desktop-file-validate update-mime-database xdg-mime mimetype; do
  command -v "$tool" >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
done
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
for file in bin/quiltmapper bin/quiltmapper-cli share/applications/quiltmapper.desktop \
            share/icons/hicolor/scalable/apps/quiltmapper.svg share/mime/packages/quiltmapper.xml \
            share/quiltmapper/translations/qtbase_ja.qm; do
  [ -s "$prefix/$file" ] || { echo "missing: $file"; status=1; }
done
desktop-file-validate "$prefix/share/applications/quiltmapper.desktop" || status=1

update-mime-database "$prefix/share/mime"
maps="$(mktemp -d)"
trap 'rm -rf "$prefix" "$maps"' EXIT
"$prefix/bin/quiltmapper-cli" new 3 2 "$maps/type2.mpd" --type 2 >/dev/null
cp "$maps/type2.mpd" "$maps/type2-renamed.bin"
"$prefix/bin/quiltmapper-cli" new 3 2 "$maps/type1.mpd" --type 1 >/dev/null
query() { XDG_DATA_DIRS="$prefix/share" XDG_DATA_HOME="$prefix/none" xdg-mime query filetype "$1"; }
for map in type2.mpd type2-renamed.bin type1.mpd; do
  type="$(query "$maps/$map")"
  if [ "$type" != application/x-quiltmapper-map ]; then
    echo "$map is $type"
    status=1
  fi
done
exit $status

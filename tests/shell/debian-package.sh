#!/usr/bin/env bash
# Makes the Debian package from the built tree and checks it as a user would meet it: its
# contents and dependencies, lintian and the AppStream validator, then the programs unpacked
# into a scratch root: quiltmapper-cli renders a map from WebP and Aseprite parts sheets,
# which only the installed plug-ins read, and its manual page and bash completion know its
# commands. Exits 77 (skipped) without dpkg-deb; scripts/install-deps.sh installs the tools.
set -euo pipefail
build="$1"
source="$2"
command -v dpkg-deb >/dev/null 2>&1 || { echo "skipped: dpkg-deb is not installed"; exit 77; }
if grep -q '^CMAKE_CXX_FLAGS:STRING=.*-fsanitize' "$build/CMakeCache.txt"; then
  echo "skipped: a package is made from a release build, not a sanitizer build"
  exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The tree is already built: the package takes its install rules as they are, without
# building first, and lands in the scratch folder.
if ! (cd "$build" && cpack -G DEB -B "$work/out" -D CPACK_INSTALL_CMAKE_PROJECTS= \
        -D "CPACK_INSTALL_COMMANDS=cmake --install $build --prefix /usr --strip") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
deb="$(ls "$work"/out/quiltmapper_*.deb)"
echo "package: $(basename "$deb")"

status=0
fail() { echo "$*"; status=1; }
dpkg-deb --contents "$deb" | awk '{ print $NF }' >"$work/contents"
for file in bin/quiltmapper bin/quiltmapper-cli lib/ARCH/quiltmapper/ifwebp.spi lib/ARCH/quiltmapper/ifase.spi \
            share/applications/quiltmapper.desktop share/mime/packages/quiltmapper.xml \
            share/icons/hicolor/scalable/apps/quiltmapper.svg \
            share/icons/hicolor/16x16/apps/quiltmapper.png share/icons/hicolor/256x256/apps/quiltmapper.png \
            share/quiltmapper/translations/qtbase_ja.qm share/man/man1/quiltmapper.1.gz \
            share/man/man1/quiltmapper-cli.1.gz share/bash-completion/completions/quiltmapper-cli \
            share/metainfo/io.github.quiltmapper.Quiltmapper.metainfo.xml share/doc/quiltmapper/copyright; do
  grep -qx "\./usr/${file/ARCH/[^/]*}" "$work/contents" || fail "not in the package: /usr/$file"
done
depends="$(dpkg-deb --field "$deb" Depends)"
for library in libqt6widgets6 libwebp7 libc6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error,warning "$deb" || fail "lintian finds faults"
else
  echo "note: lintian is not installed; not run"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "AppStream data not valid"

# No plug-in folder of the user's, none beside the program: only the installed one.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
cli="$root/usr/bin/quiltmapper-cli"
"$cli" new 3 2 "$work/map.mpd" --part 4x4 >/dev/null
for sheet in "$source/tests/fuzz/ifwebp/lossless.webp" "$source/tests/fuzz/ifase/rgba.aseprite"; do
  "$cli" render "$work/map.mpd" "$sheet" "$work/map.png" >/dev/null || fail "$(basename "$sheet") not rendered"
done

# The manual page and the completion say the commands the installed tool takes.
commands="$("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p')"
[ -n "$commands" ] || fail "no commands in --help"
page="$(zcat "$root/usr/share/man/man1/quiltmapper-cli.1.gz")"
completion() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quiltmapper_cli;
           printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/quiltmapper-cli" "$cli" "$@"
}
offered="$(completion "")"
for command in $commands; do
  [[ $page == *"$command"* ]] || fail "manual page lacks $command"
  grep -qx "$command" <<<"$offered" || fail "completion lacks $command"
done
[ "$(completion render "$work/map.mpd" "$work/map.png" --t)" = --type ] || fail "completion lacks render --type"
exit $status

#!/usr/bin/env bash
# The real program reads parts pictures through the real import plug-ins: ifwebp.spi and
# ifase.spi sit beside the program (where it looks for plug-ins), a parts sheet is written
# as a .webp and an .aseprite file, each is opened from the parts window's load dialog
# (Alt+F, R, its name typed), and the parts saved with Ctrl+S must be the sheet's pixels.
# Usage: program-plugins.sh <quiltmapper> <ifwebp.spi> <ifase.spi> <qm_plugin_samples>
#        (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool convert compare
cp "$2" "$3" "$work/"
samples="$4"
writeSideBySideSettings

# A parts sheet for 32 x 32 parts.
convert -size 512x512 -seed 3 plasma:fractal -depth 8 "PNG24:$work/sheet.png"
"$samples" "$work/sheet.png" "$work/sheet.webp" "$work/sheet.aseprite" ||
    fail "the sample pictures could not be written"

same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }

"$work/quiltmapper" &
pid=$!
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)" || true
[ -n "$parts" ] || fail "the parts window did not appear"
sleep 1

dialogShown() { # title pattern; the id of the visible dialog, waiting up to 5 s
    timeout 5 xdotool search --sync --onlyvisible --name "$1" | head -1 || true
}
dialogGone() { # title pattern
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
typeInto() { # window id, text: types the text into the dialog's name field and confirms
    xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
    xdotool key --clearmodifiers ctrl+a
    xdotool type --delay 10 "$2"
    xdotool key --clearmodifiers Return
}

loadAndSave() { # picture file, saved sheet file
    xdotool windowactivate --sync "$parts" 2>/dev/null || xdotool windowfocus --sync "$parts"
    xdotool key --clearmodifiers alt+f
    sleep 0.3
    xdotool key --clearmodifiers r
    local dialog
    dialog="$(dialogShown '^パーツ画像の読み込み$')"
    [ -n "$dialog" ] || fail "Alt+F, R opened no load dialog"
    typeInto "$dialog" "$1"
    dialogGone '^パーツ画像の読み込み$' || fail "the load dialog stayed open for $1"
    sleep 1
    # The loaded parts are unsaved: Ctrl+S asks for a name the first time.
    xdotool windowactivate --sync "$parts" 2>/dev/null || xdotool windowfocus --sync "$parts"
    xdotool key --clearmodifiers ctrl+s
    sleep 1
    local saveDialog
    saveDialog="$(dialogShown '^パーツ画像の保存$')"
    [ -n "$saveDialog" ] || fail "Ctrl+S after loading $1 asked for no name: the picture was not taken"
    typeInto "$saveDialog" "$2"
    for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
    [ -s "$2" ] || fail "no parts sheet was saved after loading $1"
}

loadAndSave "$work/sheet.webp" "$work/from-webp.bmp"
same "$work/sheet.png" "$work/from-webp.bmp" || fail "the parts read from the .webp file are not the sheet"

# A fresh program, so that the second picture is unsaved again and Ctrl+S asks anew.
kill "$pid"
wait "$pid" 2>/dev/null || true
"$work/quiltmapper" &
pid=$!
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)" || true
[ -n "$parts" ] || fail "the parts window did not appear the second time"
sleep 1
loadAndSave "$work/sheet.aseprite" "$work/from-aseprite.bmp"
same "$work/sheet.png" "$work/from-aseprite.bmp" ||
    fail "the parts read from the .aseprite file are not the sheet"
echo "ok: the parts window read the sheet through ifwebp.spi and ifase.spi"

#!/usr/bin/env bash
# The real program reads parts pictures through the real import plug-ins: ifwebp.spi and
# ifase.spi sit beside the program (where it looks for plug-ins), one parts sheet is
# written as a .webp and another as an .aseprite file, each is opened from the parts
# window's load dialog (Alt+F, R, its name typed), and the parts sheet the program then
# puts on the clipboard (Ctrl+P), read back with xclip, must be that sheet's pixels.
# Usage: program-plugins.sh <quiltmapper> <ifwebp.spi> <ifase.spi> <qm_plugin_samples>
#        program-plugins.sh <quiltmapper> --in-place <qm_plugin_samples>
#        (run inside xvfb-run)
# With --in-place the program runs where it was built, as scripts/run.sh starts it, with
# the plug-ins the build put beside it; its settings file there is put back afterwards.
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool xclip convert compare
xclips=()
writeSideBySideSettings
if [ "$2" = --in-place ]; then
    programDir="$(cd "$(dirname "$1")" && pwd)"
    for spi in ifwebp.spi ifase.spi; do
        [ -f "$programDir/$spi" ] || fail "the build put no $spi beside the program"
    done
    ini="$programDir/Quiltmapper.ini"
    [ -e "$ini" ] && cp -p "$ini" "$work/kept.ini"
    cp "$work/Quiltmapper.ini" "$ini"
    extraCleanup() {
        [ ${#xclips[@]} -eq 0 ] || kill "${xclips[@]}" 2>/dev/null || true
        [ -z "$pid" ] || wait "$pid" 2>/dev/null || true # ended by the cleanup
        if [ -e "$work/kept.ini" ]; then cp -p "$work/kept.ini" "$ini"; else rm -f "$ini"; fi
    }
    run="$programDir/$(basename "$1")"
    samples="$3"
else
    run="$work/quiltmapper"
    extraCleanup() { [ ${#xclips[@]} -eq 0 ] || kill "${xclips[@]}" 2>/dev/null || true; }
    cp "$2" "$3" "$work/"
    samples="$4"
fi

# Two parts sheets for 32 x 32 parts, different everywhere: one read from each format, so
# that a picture that fails to load cannot pass for the one before it.
convert -size 512x512 -seed 3 plasma:fractal -depth 8 "PNG24:$work/first.png"
convert -size 512x512 -seed 4 plasma:fractal -negate -depth 8 "PNG24:$work/second.png"
"$samples" "$work/first.png" "$work/sheet.webp" "$work/unused.aseprite" &&
    "$samples" "$work/second.png" "$work/unused.webp" "$work/sheet.aseprite" ||
    fail "the sample pictures could not be written"

same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }

"$run" &
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

loadAndCopy() { # picture file, file for the sheet taken from the clipboard
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
    # The parts sheet onto the system clipboard (Ctrl+P), read back by another program. A
    # text there first, so that only the program's new picture is read.
    printf 'none' | xclip -selection clipboard -i -quiet >/dev/null 2>&1 &
    xclips+=($!)
    for _ in $(seq 50); do
        [ "$(xclip -selection clipboard -o 2>/dev/null)" = none ] && break
        sleep 0.1
    done
    xdotool windowactivate --sync "$parts" 2>/dev/null || xdotool windowfocus --sync "$parts"
    xdotool key --clearmodifiers ctrl+p
    for _ in $(seq 50); do
        xclip -selection clipboard -t image/png -o > "$2" 2>/dev/null && [ -s "$2" ] && break
        sleep 0.1
    done
    [ -s "$2" ] || fail "no parts sheet reached the clipboard after loading $1"
}

loadAndCopy "$work/sheet.webp" "$work/from-webp.png"
same "$work/first.png" "$work/from-webp.png" || fail "the parts read from the .webp file are not the sheet"

loadAndCopy "$work/sheet.aseprite" "$work/from-aseprite.png"
same "$work/second.png" "$work/from-aseprite.png" ||
    fail "the parts read from the .aseprite file are not the sheet"
echo "ok: the parts window read the sheet through ifwebp.spi and ifase.spi ($run)"

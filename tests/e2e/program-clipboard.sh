#!/usr/bin/env bash
# The installed-style program, driven from outside as a user would: started on its own X
# server, its keys typed with xdotool, a picture copied by another program (xclip). With
# clipboard watching on, the parts take the picture (saved with Ctrl+S, the saved sheet is
# the picture); with watching off, a second copy leaves them alone.
# Usage: program-clipboard.sh <quiltmapper executable>   (run inside xvfb-run)
source "$(dirname "${BASH_SOURCE[0]}")/program-common.sh" "$1" xdotool xclip convert compare
extraCleanup() { pkill -f "xclip -selection clipboard -t image/png -i $work" 2>/dev/null || true; }
cat > "$work/Quiltmapper.ini" <<'INI'
[options]
isShowTitle=0
INI

# Two parts sheets for 32 x 32 parts, different everywhere.
convert -size 512x512 -seed 1 plasma:fractal -depth 8 "PNG24:$work/first.png"
convert -size 512x512 -seed 2 plasma:fractal -negate -depth 8 "PNG24:$work/second.png"

same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = "0" ]; }

"$work/quiltmapper" &
pid=$!
parts="$(timeout 20 xdotool search --sync --name 'パーツウィンドウ' | head -1)" || true
[ -n "$parts" ] || fail "the parts window did not appear"
keys() {
    xdotool windowfocus --sync "$parts"
    xdotool key --clearmodifiers "$@"
}
sleep 1

# Watching on, then another program copies a picture.
keys ctrl+w
xclip -selection clipboard -t image/png -i "$work/first.png"
sleep 2
# The parts are modified now: Ctrl+S asks for a name and writes the sheet.
keys ctrl+s
sleep 1
xdotool type --delay 10 "$work/saved.bmp"
xdotool key Return
for _ in $(seq 50); do [ -s "$work/saved.bmp" ] && break; sleep 0.1; done
[ -s "$work/saved.bmp" ] || fail "with watching on, the parts did not take the picture (nothing to save)"
same "$work/first.png" "$work/saved.bmp" || fail "the saved parts sheet is not the copied picture"
stamp="$(stat -c %Y.%s "$work/saved.bmp")"

# Watching off: a second copy must leave the parts alone. Had they taken it, they would
# be modified and Ctrl+S would write the sheet again, under the name now remembered.
keys ctrl+w
xclip -selection clipboard -t image/png -i "$work/second.png"
sleep 2
keys ctrl+s
sleep 1
[ "$(stat -c %Y.%s "$work/saved.bmp")" = "$stamp" ] || fail "with watching off, the parts took the picture"
same "$work/first.png" "$work/saved.bmp" || fail "the saved parts sheet changed"
echo "ok: the parts took the copied picture with watching on, and not with watching off"

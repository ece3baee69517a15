#!/bin/bash
# The readout under the pointer shows the position and the displayed
# image's own value there (grey level, 0 or 1, (r g b)), not the colour the
# display paints it in: a lookup-table colour or an overlay changes nothing.
. "$(dirname "$0")/lib.sh"
start_tavex

lisp '(setq g (greyset 100))' >/dev/null
lisp "(wpix g '(37 200) 7)" >/dev/null
lisp "(displut '((7 . #xFF0000) (100 . #x00FF00)))" >/dev/null
read -r cx cy < <(lisp '(execute "list [winfo rootx .tMain.cDisplay] [winfo rooty .tMain.cDisplay]")' | tr -d '"')
px=$((cx + 63)) py=$((cy + 3))   # the photo's top-left corner (zoom 1.53125)
# the screen position of image pixel (x, y): the first photo column and row
# that show it, ceil(x * 1.53125) and ceil(y * 1.53125), inside the border
centre() { echo $((px + 1 + ($1 * 49 + 31) / 32)) $((py + 1 + ($2 * 49 + 31) / 32)); }
readout() { lisp '(execute ".tMain.fInfo.lPos cget -text")'; }

xdotool mousemove $(centre 37 200)
expect "grey pixel painted in its table colour" "255,0,0" "$(pixel $(centre 37 200))"
expect "grey value under a table colour" '"x y: 37 200   value: 7"' "$(readout)"
xdotool mousemove $(centre 38 200)
expect "grey value" '"x y: 38 200   value: 100"' "$(readout)"
# The red image-frame outline over the border: the nearest pixel's value.
xdotool mousemove $px $py
expect "border pixel painted red" "255,0,0" "$(pixel $px $py)"
expect "value under the outline" '"x y: 0 0   value: 100"' "$(readout)"
xdotool mousemove $((px - 5)) $((py + 50))
expect "nothing outside the photo" '""' "$(readout)"

# Binary: 0 or 1; as an overlay, the base image's value stays.
lisp '(setq b (binset 0))' >/dev/null
lisp "(wpix b '(5 6) 1)" >/dev/null
xdotool mousemove $(centre 5 6)
expect "binary 1" '"x y: 5 6   value: 1"' "$(readout)"
xdotool mousemove $(centre 6 6)
expect "binary 0" '"x y: 6 6   value: 0"' "$(readout)"
lisp '(display g :blue b)' >/dev/null
xdotool mousemove $(centre 5 6)
expect "overlay pixel painted blue" "0,0,255" "$(pixel $(centre 5 6))"
expect "grey value under an overlay" '"x y: 5 6   value: 100"' "$(readout)"

# Colour: (r g b), under an overlay too; the readout follows a new picture
# while the pointer stays.
lisp '(setq c (colset #x0A141E))' >/dev/null
lisp "(wpix c '(3 4) #xFF8000)" >/dev/null
xdotool mousemove $(centre 3 4)
expect "colour value" '"x y: 3 4   value: (255 128 0)"' "$(readout)"
lisp "(display c :green b)" >/dev/null
xdotool mousemove $(centre 5 6)
expect "overlay pixel painted green" "0,255,0" "$(pixel $(centre 5 6))"
expect "colour value under an overlay" '"x y: 5 6   value: (10 20 30)"' "$(readout)"
lisp "(wpix c '(5 6) #x010203)" >/dev/null
expect "readout follows the new picture" '"x y: 5 6   value: (1 2 3)"' "$(readout)"

# The icon has no values.
lisp '(freeall)' >/dev/null
xdotool mousemove $((px + 100)) $((py + 100)) mousemove $((px + 101)) $((py + 100))
expect "nothing over the icon" '""' "$(readout)"

type_line '(exit)'
wait_exit "$PID"
expect "exit status" 0 "$STATUS"
finish

#!/bin/bash
# Zoom and pan: keys and the View menu switch between the fitted view (the
# default) and fixed scales; at an integer scale every image pixel is an
# equal square; the readout, the frames and picking work at any scale; the
# view pans with a drag, the scrollbars and the wheel; back in the fitted
# view DispZoom, DispX0, DispY0 and the photo are as before.
. "$(dirname "$0")/lib.sh"
start_tavex

lisp '(setq g (greyset 100))' >/dev/null
for p in "128 128 10" "129 128 255" "128 129 200" "129 129 50"; do
  set -- $p
  lisp "(wpix g '($1 $2) $3)" >/dev/null
done
read -r cx cy < <(lisp '(execute "list [winfo rootx .tMain.cDisplay] [winfo rooty .tMain.cDisplay]")' | tr -d '"')
view() { lisp '(list (execute "set DispZoom") (execute "set DispX0") (execute "set DispY0") (execute "image width iDisplay") (execute "image height iDisplay"))'; }
readout() { lisp '(execute ".tMain.fInfo.lPos cget -text")'; }
result() { tail -n 2 "$CONSOLE" | head -1; }
FIT='("1.53125" "63" "3" "394" "394")'
expect "fitted view" "$FIT" "$(view)"

# grid X Y N: the colours of the N x N screen pixels from canvas (X, Y),
# row by row, one "r,g,b" a pixel.
grid() {
  import -window root "$WORK/shot.png"
  convert "$WORK/shot.png" -crop "$3x$3+$((cx + $1))+$((cy + $2))" -depth 8 txt:- |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p' | tr '\n' ' '
}
# squares V1 V2 V3 V4: the expected 12 x 12 grid from one image pixel
# before (127 127) on, at 4x: three 4 x 4 squares a row of pixels, where
# (128 128) = V1, (129 128) = V2, (128 129) = V3, (129 129) = V4 and the
# rest is 100.
squares() {
  local r c row col v out=""
  for ((r = 0; r < 12; r++)); do
    for ((c = 0; c < 12; c++)); do
      row=$((r / 4)) col=$((c / 4)) v=100
      [ $row = 1 ] && [ $col = 1 ] && v=$1
      [ $row = 1 ] && [ $col = 2 ] && v=$2
      [ $row = 2 ] && [ $col = 1 ] && v=$3
      [ $row = 2 ] && [ $col = 2 ] && v=$4
      out+="$v,$v,$v "
    done
  done
  echo "$out"
}

# Ctrl+4 from the fitted view keeps the image point at the canvas centre,
# (260 - 63 - 1) / 1.53125 = 128, in place: the full photo is 1026 wide,
# scrolled by 1 + 4 * 128 - 260 = 253 and 1 + 512 - 200 = 313.
xdotool key ctrl+4
expect "4x" '("4.0" "-253" "-313" "520" "400")' "$(view)"
expect "zoom label at 4x" '"4.000"' "$(lisp '(execute ".tMain.fInfo.lZoom cget -text")')"
# Pixel (128 128) covers canvas (260..263, 200..203).
expect "4 x 4 squares" "$(squares 10 255 200 50)" "$(grid 256 196 12)"
xdotool mousemove $((cx + 265)) $((cy + 201))
expect "readout at 4x" '"x y: 129 128   value: 255"' "$(readout)"

# Frames at 4x: the measure frame's left edge at photo column 4 * 120 = 480,
# canvas 480 - 253 = 227; its top edge at canvas row 480 - 313 = 167.
lisp "(mframe '(120 120 16 16))" >/dev/null
expect "measure frame left edge at 4x" "0,0,255" "$(pixel $((cx + 227)) $((cy + 200)))"
expect "measure frame top edge at 4x" "0,0,255" "$(pixel $((cx + 260)) $((cy + 167)))"
expect "beside the frame" "100,100,100" "$(pixel $((cx + 228)) $((cy + 200)))"

# Picking at 4x answers in image pixels: a click on canvas (262, 206) is
# pixel (128 129); a drag from canvas (252, 192) to (270, 212), pixels
# (504 / 4, 504 / 4) = (126 126) to (522 / 4, 524 / 4) = (130 131), is the
# rectangle (126 126 5 6), with its band at canvas column 1 + 504 - 253.
before=$(prompts)
type_line '(get-point g)'
wait_state mouse || fail "no mouse request"
xdotool mousemove $((cx + 262)) $((cy + 206)) click 1
wait_prompts $((before + 1)) || fail "get-point did not return"
expect "get-point at 4x" "(128 129)" "$(result)"
before=$(prompts)
type_line '(get-rect g)'
wait_state mouse || fail "no mouse request"
xdotool mousemove $((cx + 252)) $((cy + 192)) mousedown 1
xdotool mousemove $((cx + 260)) $((cy + 205)); sleep 0.1
xdotool mousemove $((cx + 270)) $((cy + 212)); sleep 0.3
expect "band at 4x" "255,255,0" "$(pixel $((cx + 252)) $((cy + 210)))"
xdotool mouseup 1; sleep 0.3
xdotool click 2
wait_prompts $((before + 1)) || fail "get-rect did not return"
expect "get-rect dragged at 4x" "(126 126 5 6)" "$(result)"
lisp '(display g)' >/dev/null

# A left-button drag outside picking pans: 40 to the left and 20 up moves
# the view by (40, 20).
xdotool mousemove $((cx + 300)) $((cy + 300)) mousedown 1
xdotool mousemove $((cx + 280)) $((cy + 290)); sleep 0.1
xdotool mousemove $((cx + 260)) $((cy + 280)); sleep 0.1
xdotool mouseup 1
expect "panned by a drag" '("4.0" "-293" "-333" "520" "400")' "$(view)"
expect "squares moved" "$(squares 10 255 200 50)" "$(grid 216 176 12)"
# The scrollbar's right arrow scrolls by 20 pixels; the wheel by 40.
read -r sx sy sw sh < <(lisp '(execute "list [winfo rootx .tMain.sDispX] [winfo rooty .tMain.sDispX] [winfo width .tMain.sDispX] [winfo height .tMain.sDispX]")' | tr -d '"')
xdotool mousemove $((sx + sw - 4)) $((sy + sh / 2)) click 1
sleep 0.2
xdotool mousemove $((cx + 200)) $((cy + 200)) click 5
sleep 0.2
expect "scrolled" '("4.0" "-313" "-373" "520" "400")' "$(view)"
# A pan never leaves the picture: at most 1026 - 520 = 506 and 1026 - 400.
lisp '(execute "View:Pan 99999999999 -99999999999")' >/dev/null
expect "pan clamped" '("4.0" "-506" "0" "520" "400")' "$(view)"
expect "bad pan" 'error: syntax: GuiDispPan dx dy' "$(lisp '(execute "GuiDispPan 1.5 2")')"

# Positions at the ends of the ranges neither overflow nor leave the picture.
lisp '(execute "GuiDispView 4 1 1e308 -1e308")' >/dev/null
inside=$(lisp '(execute "expr {$DispX0 >= -506 && $DispX0 <= 0 && $DispY0 >= -626 && $DispY0 <= 0}")')
expect "view inside the picture after extreme positions" '"1"' "$inside"
expect "infinite position" 'error: syntax: GuiDispView fit | GuiDispView num den ?cx cy?' \
  "$(lisp '(execute "GuiDispView 4 1 1e999 0")')"
expect "scale 0" 'error: syntax: GuiDispView fit | GuiDispView num den ?cx cy?' \
  "$(lisp '(execute "GuiDispView 0 1")')"
expect "value far outside" '""' "$(lisp '(execute "GuiDispValue -9223372036854775808 9223372036854775807")')"
expect "value beyond the range" 'error: syntax: GuiDispValue x y' \
  "$(lisp '(execute "GuiDispValue 99999999999999999999 0")')"

# Back to the fitted view with Ctrl+0: everything as before.
xdotool key ctrl+0
expect "fitted view again" "$FIT" "$(view)"

# 1:1 centres the 258 x 258 photo; zoom out halves it, zoom in doubles.
xdotool key ctrl+1
expect "1:1" '("1.0" "131" "71" "258" "258")' "$(view)"
expect "pixel at 1:1" "10,10,10" "$(pixel $((cx + 260)) $((cy + 200)))"
xdotool key ctrl+minus
expect "zoom out" '("0.5" "195" "135" "130" "130")' "$(view)"
expect "pixel at 1:2" "10,10,10" "$(pixel $((cx + 260)) $((cy + 200)))"
xdotool key ctrl+equal
expect "zoom in" '("1.0" "131" "71" "258" "258")' "$(view)"

# Ctrl+wheel zooms about the pointer: at (300, 250) over pixel
# (300 - 131 - 1, 250 - 71 - 1) = (168 178), 2x scrolls by 1 + 2 * 178 - 250
# = 107 down; the 514 wide photo fits and is centred at (520 - 514) / 2.
xdotool mousemove $((cx + 300)) $((cy + 250)) keydown ctrl click 4 keyup ctrl
sleep 0.2
expect "ctrl+wheel" '("2.0" "3" "-107" "514" "400")' "$(view)"
expect "the row under the pointer stays" '"x y: 148 178   value: 100"' "$(readout)"

# The View menu: 8x, then fit.
lisp '(execute ".tMain.mBar.mView invoke 8x")' >/dev/null
expect "8x from the menu" '"8.0"' "$(lisp '(execute "set DispZoom")')"
expect "8 x 8 squares" "$(for ((r = 0; r < 8; r++)); do printf '10,10,10 %.0s' 1 2 3 4 5 6 7 8; done)" \
  "$(grid $(lisp '(execute "expr {$DispX0 + 1 + 128 * 8}")' | tr -d '"') $(lisp '(execute "expr {$DispY0 + 1 + 128 * 8}")' | tr -d '"') 8)"
lisp '(execute ".tMain.mBar.mView invoke {Fit to window}")' >/dev/null
expect "fit from the menu" "$FIT" "$(view)"

type_line '(exit)'
wait_exit "$PID"
expect "exit status" 0 "$STATUS"
finish

#!/bin/bash
# The display: a 256 x 256 grey image in the 520 x 400 display canvas is
# scaled by 1.53125 into a 394 x 394 photo at (63, 3); the screen shows its
# pixels, the red image-frame outline over the border and the blue
# measure-frame outline; GET-POINT answers with the image-plane coordinates
# of the pixel clicked with the real mouse.
. "$(dirname "$0")/lib.sh"
start_tavex

expect "canvas size" '("520" "400")' \
  "$(lisp '(list (execute "winfo width .tMain.cDisplay") (execute "winfo height .tMain.cDisplay"))')"
lisp '(setq g (greyset 100))' >/dev/null
expect "zoom, photo size and position" '("1.53125" "394" "394" "63" "3")' \
  "$(lisp '(list (execute "set DispZoom") (execute "image width iDisplay") (execute "image height iDisplay") (execute "set DispX0") (execute "set DispY0"))')"
expect "zoom label" '"1.531"' "$(lisp '(execute ".tMain.fInfo.lZoom cget -text")')"
expect "frame labels" '("0 0 256 256" "0 0 256 256")' \
  "$(lisp '(list (execute ".tMain.fInfo.lIFrame cget -text") (execute ".tMain.fInfo.lMFrame cget -text"))')"

# The measure frame (64 64 128 128) is outlined in blue at photo column
# trunc(64 * 1.53125) = 98 from row 98 to row trunc(192 * 1.53125) + 1 = 295.
lisp "(mframe '(64 64 128 128))" >/dev/null
read -r cx cy < <(lisp '(execute "list [winfo rootx .tMain.cDisplay] [winfo rooty .tMain.cDisplay]")' | tr -d '"')
px=$((cx + 63)) py=$((cy + 3))   # the photo's top-left corner on the screen
expect "red outline over the top-left border" "255,0,0" "$(pixel $px $py)"
expect "red outline over the bottom-right border" "255,0,0" "$(pixel $((px + 393)) $((py + 393)))"
expect "image pixel" "100,100,100" "$(pixel $((px + 20)) $((py + 20)))"
expect "blue measure frame, left edge" "0,0,255" "$(pixel $((px + 98)) $((py + 200)))"
expect "blue measure frame, bottom edge" "0,0,255" "$(pixel $((px + 200)) $((py + 295)))"
expect "inside the measure frame" "100,100,100" "$(pixel $((px + 200)) $((py + 200)))"
expect "canvas outside the photo" "48,48,48" "$(pixel $((px - 10)) $((py + 200)))"

# screen position of the centre of image pixel (x, y), image origin (x0, y0)
centre() { echo $((px + 1 + ($1 * 49 + 24) / 32)) $((py + 1 + ($2 * 49 + 24) / 32)); }

# A right click does not end GET-POINT; the left click does.
before=$(prompts)
type_line '(get-point g)'
wait_state mouse || fail "no mouse request"
xdotool mousemove $(centre 100 100) click 3
sleep 0.3
wait_state mouse || fail "no second mouse request"
xdotool mousemove $(centre 37 200) click 1
wait_prompts $((before + 1)) || fail "get-point did not return"
expect "get-point" "(37 200)" "$(tail -n 2 "$CONSOLE" | head -1)"

# With the frames and a new image at the origin (100 50), the pixel at the
# photo's top-right corner is (355 50).
lisp "(frames '(100 50 256 256))" >/dev/null
lisp '(setq g (greyset 100))' >/dev/null
expect "image origin" '("100" "50")' "$(lisp '(list (execute "set ImaX0") (execute "set ImaY0"))')"
before=$(prompts)
type_line '(get-point g)'
wait_state mouse || fail "no mouse request"
xdotool mousemove $(centre 255 0) click 1
wait_prompts $((before + 1)) || fail "get-point did not return"
expect "get-point after setorg" "(355 50)" "$(tail -n 2 "$CONSOLE" | head -1)"

# Ctrl + left button counts as the middle button, which also ends GET-POINT.
before=$(prompts)
type_line '(get-point g)'
wait_state mouse || fail "no mouse request"
xdotool mousemove $(centre 0 255) keydown ctrl click 1 keyup ctrl
wait_prompts $((before + 1)) || fail "get-point did not return"
expect "get-point with Ctrl+click" "(100 305)" "$(tail -n 2 "$CONSOLE" | head -1)"

# The enlarged view paints the whole image as large as its window allows.
lisp '(execute "View:Enlarged; update")' >/dev/null
expect "enlarged view" '("900" "900")' \
  "$(lisp '(execute "GuiMaxPaint 906 906; list [image width iMaximized] [image height iMaximized]")' | sed 's/"\([0-9]*\) \([0-9]*\)"/("\1" "\2")/')"
expect "enlarged view of a too small canvas" "error: error in GuiMaxPaint" \
  "$(lisp '(execute "GuiMaxPaint 10 500")')"

type_line '(exit)'
wait_exit "$PID"
expect "exit status" 0 "$STATUS"
finish

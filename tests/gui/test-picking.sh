#!/bin/bash
# Picking with the real mouse: GET-RECT and GET-LINE take a press-drag-
# release with a rubber band as well as the clicks; reversed corners are
# normalised; the status line says which button does what; the picked shape
# stays drawn until the next display.
. "$(dirname "$0")/lib.sh"
start_tavex

lisp '(setq g (greyset 100))' >/dev/null
read -r cx cy < <(lisp '(execute "list [winfo rootx .tMain.cDisplay] [winfo rooty .tMain.cDisplay]")' | tr -d '"')
px=$((cx + 63)) py=$((cy + 3))   # the photo's top-left corner (zoom 1.53125)
# the screen column (row) of the left (top) edge of image column (row) v:
# ceil(v * 1.53125) inside the one-pixel border
sx() { echo $((px + 1 + ($1 * 49 + 31) / 32)); }
sy() { echo $((py + 1 + ($1 * 49 + 31) / 32)); }
at() { echo "$(sx "$1") $(sy "$2")"; }
status() { cat "$CONSOLE.status"; }
result() { tail -n 2 "$CONSOLE" | head -1; }
# start EXPR: types a picking call and waits for its mouse request.
start() {
  before=$(prompts)
  type_line "$1"
  wait_state mouse || fail "no mouse request for $1"
}
done_picking() { wait_prompts $((before + 1)) || fail "$1 did not return"; }

# A drag from (30 40) to (80 90): the yellow band runs along the left edge
# of column 30 while the button is held; release and Ctrl+click end it.
start '(get-rect g)'
expect "status while picking a rectangle" \
  "Pick a rectangle: drag with the left button, or left-click a corner and right-click the opposite one; middle button or Ctrl+left: done" \
  "$(status)"
xdotool mousemove $(at 30 40) mousedown 1
for v in 40 55 70 80; do xdotool mousemove $(at $v $((v + 10))); sleep 0.1; done
sleep 0.3
expect "band, left edge" "255,255,0" "$(pixel $(sx 30) $(sy 60))"
expect "band, bottom edge" "255,255,0" "$(pixel $(sx 50) $(($(sy 91) - 1)))"
expect "inside the band" "100,100,100" "$(pixel $(sx 50) $(sy 60))"
# Meanwhile the proposed rectangle (10 10 235 235) stays as it was.
expect "proposal kept during the drag" "0,255,0" "$(pixel $(sx 50) $(sy 10))"
expect "no corner moved during the drag" "100,100,100" "$(pixel $(sx 30) $(sy 100))"
xdotool mouseup 1
sleep 0.3
xdotool keydown ctrl click 1 keyup ctrl
done_picking "get-rect by dragging"
expect "get-rect by dragging" "(30 40 51 51)" "$(result)"
# The rectangle stays drawn, in green, until the next display.
lisp '(+ 1 2)' >/dev/null
expect "picked rectangle stays" "0,255,0" "$(pixel $(sx 30) $(sy 60))"
expect "no band left" "100,100,100" "$(pixel $(sx 50) $(sy 60))"
lisp '(display g)' >/dev/null
expect "gone after the next display" "100,100,100" "$(pixel $(sx 30) $(sy 60))"

# Dragged from bottom right to top left: the same rectangle.
start '(get-rect g)'
xdotool mousemove $(at 80 90) mousedown 1
for v in 70 50 30; do xdotool mousemove $(at $v $((v + 10))); sleep 0.1; done
sleep 0.3
expect "reversed band, right edge" "255,255,0" "$(pixel $(($(sx 81) - 1)) $(sy 60))"
xdotool mouseup 1
sleep 0.3
xdotool click 2
done_picking "get-rect dragged backwards"
expect "get-rect dragged backwards" "(30 40 51 51)" "$(result)"

# Clicks: left moves the corner, right sets the opposite one, here above
# and left of it.
start '(get-rect g)'
xdotool mousemove $(at 10 10) click 1
sleep 0.3
wait_state mouse || fail "no second request"
xdotool mousemove $(at 5 3) click 3
sleep 0.3
wait_state mouse || fail "no third request"
xdotool click 2
done_picking "get-rect by clicks"
expect "get-rect by clicks, reversed" "(5 3 6 8)" "$(result)"

# GET-LINE: a drag sets both ends; the band is drawn along a horizontal
# line at row 30.
start '(get-line g)'
expect "status while picking a line" \
  "Pick a line: drag with the left button, or left-click the first end and right-click the second; middle button or Ctrl+left: done" \
  "$(status)"
xdotool mousemove $(at 20 30) mousedown 1
for v in 30 45 60; do xdotool mousemove $(at $v 30); sleep 0.1; done
sleep 0.3
import -window root "$WORK/shot.png"
band=$(convert "$WORK/shot.png" -crop "1x3+$(sx 40)+$(sy 30)" -depth 8 txt:- | grep -c '#FFFF00')
[ "$band" -ge 1 ] || fail "no line band at (40 30)"
xdotool mouseup 1
sleep 0.3
xdotool click 2
done_picking "get-line by dragging"
expect "get-line by dragging" "(20 30 60 30)" "$(result)"
expect "picked line stays" "0,255,0" "$(pixel $(sx 40) $(sy 30))"

# GET-POINT: the status line, and a green cross on the picked pixel until
# the next display.
start '(get-point g)'
expect "status while picking a point" "Pick a point: left or middle button (or Ctrl+left)" "$(status)"
xdotool mousemove $(at 150 120) click 1
done_picking "get-point"
expect "get-point" "(150 120)" "$(result)"
mx=$(( ($(sx 150) + $(sx 151) - 1) / 2 ))
my=$(( ($(sy 120) + $(sy 121) - 1) / 2 ))
xdotool mousemove $((px - 20)) $((py + 20))
expect "cross on the picked point" "0,255,0" "$(pixel $((mx + 4)) $my)"
expect "cross, vertical arm" "0,255,0" "$(pixel $mx $((my - 4)))"
lisp '(display g)' >/dev/null
expect "cross gone after the next display" "100,100,100" "$(pixel $((mx + 4)) $my)"

type_line '(exit)'
wait_exit "$PID"
expect "exit status" 0 "$STATUS"
finish

#!/bin/bash
# The help viewer from the workstation, with real key and mouse events:
# its overview lists every function of functions.txt exactly once, under
# its theme, each name a link to its entry; F1 in the console opens the
# entry of the name at the cursor; a second F1 or the Help menu reuses the
# one window (no second viewer stays), bringing it to the front.
. "$(dirname "$0")/lib.sh"
DATA=$(dirname "$TAVEX")/../src/help/functions.txt
[ -f "$DATA" ] || DATA=$TESTS/../../src/help/functions.txt
DUMP=$WORK/help.txt
export TAVEX_HELP_DUMP=$DUMP

# wait_dump TEXT: waits (up to 30 s) until the viewer's first line is TEXT.
wait_dump() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ -f "$DUMP" ] && [ "$(head -n 1 "$DUMP")" = "$1" ] && return 0
    sleep 0.05
  done
  fail "help does not show \"$1\""; [ -f "$DUMP" ] && head -3 "$DUMP"
  return 1
}
viewers() { xdotool search --onlyvisible --name '^Tavex function reference$' | wc -l; }

start_tavex
# F1 on a name typed in the console: the cursor is inside "mapcar".
xdotool type --delay 8 -- "(mapcar 'car"
xdotool key Left Left Left Left Left Left F1
wait_dump MAPCAR
# F1 again, on another name: the same window shows it.
xdotool windowfocus --sync "$WID" 2>/dev/null
xdotool key End F1
wait_dump CAR
sleep 0.5
expect "one viewer after two F1" 1 "$(viewers)"
expect "one viewer process" 1 "$(pgrep -c -f "^$HELP( |$)")"

# The Help menu: the same window, on its overview.
xdotool windowfocus --sync "$WID" 2>/dev/null
xdotool key alt+h
sleep 0.3
xdotool key f
wait_dump Tavex
sleep 0.5
expect "one viewer after the menu" 1 "$(viewers)"

# Every documented name appears once in the overview, among the themes,
# and every theme heading of the data file is shown in its order.
# The line after each theme heading holds its names.
awk '/^@ /{exit} /^% / && !seen[$0]++ {print substr($0, 3)}' "$DATA" >"$WORK/themes"
expect "themes in order" "$(cat "$WORK/themes")" "$(grep -xFf "$WORK/themes" "$DUMP")"
awk '/^@ / { for (i = 3; i <= NF; i++) print $i }' "$DATA" | sort >"$WORK/names"
awk 'NR == FNR { theme[$0] = 1; next } names { print; names = 0; next }
     $0 in theme { names = 1 }' "$WORK/themes" "$DUMP" | tr -s ' ' '\n' | grep -v '^$' | sort >"$WORK/shown"
expect "each name once in the overview" "" "$(diff "$WORK/names" "$WORK/shown")"

# A click on a name in the overview opens its entry.
read -r lx ly < <(tk_send tavex-help 'set t .tMain.fRight.tEntry; $t see link-WATERSHED.first; lassign [$t bbox link-WATERSHED.first] x y; list [expr {[winfo rootx $t] + $x + 3}] [expr {[winfo rooty $t] + $y + 3}]')
xdotool mousemove "$lx" "$ly" click 1
wait_dump WATERSHED
finish

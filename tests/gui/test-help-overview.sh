#!/bin/bash
# The help viewer opens on its overview page (the command line, the options
# of tavex-cli --batch and --set, error locations) when no name is given,
# and the Overview button brings it back from a function's entry.
. "$(dirname "$0")/lib.sh"
DUMP=$WORK/help.txt

# wait_dump TEXT: waits (up to 30 s) until the shown text holds TEXT.
wait_dump() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ -f "$DUMP" ] && grep -qF -- "$1" "$DUMP" && return 0
    sleep 0.05
  done
  fail "help shows no \"$1\""; [ -f "$DUMP" ] && head -5 "$DUMP"
  return 1
}

TAVEX_HELP_DUMP=$DUMP "$HELP" >"$WORK/help.log" 2>&1 &
HPID=$!
PIDS+=("$HPID")
wait_dump "Batch runs"
expect "first line" "Tavex" "$(head -1 "$DUMP")"
# Code lines lose their indentation; text lines join into paragraphs;
# comment lines of the file are not shown.
for line in \
  'tavex-cli [--display-png FILE] [--batch] [--set NAME=VALUE ...] [options] [file.lsp ...]' \
  '--batch             tavex-cli: run the files as a script (below)' \
  '--set NAME=VALUE    tavex-cli: *NAME* holds the string VALUE' \
  '; in cells.lsp line 12' \
  'An error while a file loads names the file and the line where the failing form starts, on the line before the error:'; do
  grep -qxF -- "$line" "$DUMP" || fail "overview without the line: $line"
done
grep -q '^#' "$DUMP" && fail "a comment line of overview.txt is shown"
kill "$HPID"

# From a function's entry back to the overview with the button.
rm -f "$DUMP"
TAVEX_HELP_DUMP=$DUMP "$HELP" mapcar >"$WORK/help.log" 2>&1 &
HPID=$!
PIDS+=("$HPID")
wait_dump "MAPCAR"
hwid=$(xdotool search --sync --name '^Tavex function reference$' | head -1)
xdotool windowfocus --sync "$hwid" 2>/dev/null
xdotool mousemove --window "$hwid" 20 14 click 1
wait_dump "Batch runs"
xdotool key Escape
wait_exit "$HPID"
expect "help exit status" 0 "$STATUS"
[ -s "$WORK/help.log" ] && { fail "the help viewer wrote errors"; cat "$WORK/help.log"; }
finish

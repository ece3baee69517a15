#!/bin/bash
# The editor with real key events: typing and saving keeps the file's other
# bytes as they were (ISO 8859-1 text), undo takes the typing back, closing
# with unsaved changes asks first, and the help viewer starts on a name.
. "$(dirname "$0")/lib.sh"

printf '; caf\xe9\n(defun f (x) (* x 2))\n' >"$WORK/f.lsp"
"$EDIT" "$WORK/f.lsp" >"$WORK/edit.log" 2>&1 &
EPID=$!
PIDS+=("$EPID")
ewid=$(xdotool search --sync --name '^f.lsp - Tavex editor$' | head -1)
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+End
xdotool type --delay 8 -- '(f 21)'
xdotool key Return
sleep 0.3
xdotool search --name '^\*f.lsp - Tavex editor$' >/dev/null || fail "no unsaved-changes mark in the title"
xdotool key ctrl+s
sleep 0.5
expect "saved text" "$(printf '; caf\xe9\n(defun f (x) (* x 2))\n(f 21)\n' | od -c)" "$(od -c <"$WORK/f.lsp")"
xdotool search --name '^f.lsp - Tavex editor$' >/dev/null || fail "the title still shows unsaved changes"

# Undo twice (the new line, then the typed text) and save: the old file.
xdotool key ctrl+z ctrl+z ctrl+s
sleep 0.5
expect "after undo" "$(printf '; caf\xe9\n(defun f (x) (* x 2))\n' | od -c)" "$(od -c <"$WORK/f.lsp")"

# Closing with unsaved changes asks; Escape (cancel) keeps the editor open.
xdotool type --delay 8 -- 'more'
xdotool key ctrl+q
xdotool search --sync --name '^Unsaved changes$' >/dev/null
sleep 0.3
xdotool key Escape
sleep 0.5
kill -0 "$EPID" 2>/dev/null || fail "the editor ended although the question was cancelled"
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+s ctrl+q
wait_exit "$EPID"
expect "editor exit status" 0 "$STATUS"
expect "final text" "$(printf '; caf\xe9\n(defun f (x) (* x 2))\nmore' | od -c)" "$(od -c <"$WORK/f.lsp")"
[ -s "$WORK/edit.log" ] && { fail "the editor wrote errors"; cat "$WORK/edit.log"; }

# The help viewer opens on the name given and closes with Escape.
"$HELP" mapcar >"$WORK/help.log" 2>&1 &
HPID=$!
PIDS+=("$HPID")
hwid=$(xdotool search --sync --name '^Tavex function reference$' | head -1)
xdotool windowfocus --sync "$hwid" 2>/dev/null
sleep 0.3
xdotool key Escape
wait_exit "$HPID"
expect "help exit status" 0 "$STATUS"
[ -s "$WORK/help.log" ] && { fail "the help viewer wrote errors"; cat "$WORK/help.log"; }
finish

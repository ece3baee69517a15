#!/bin/bash
# Ending the workstation: the File menu's Exit and closing the main window
# (the window manager's delete request) end the process with status 0 at
# once, also while the interpreter is busy in an endless loop; so does
# Ctrl+Q.
. "$(dirname "$0")/lib.sh"

start_tavex
type_line '(loop)'
wait_state busy || fail "the loop did not start"
sleep 0.5
xdotool key alt+f
sleep 0.3
xdotool key x
wait_exit "$PID"
expect "Exit while busy" 0 "$STATUS"

start_tavex
type_line '(loop)'
wait_state busy || fail "the loop did not start"
sleep 0.5
/usr/bin/python3 "$TESTS/wm-delete.py" "$WID" || fail "could not ask the window to close"
wait_exit "$PID"
expect "window closed while busy" 0 "$STATUS"

start_tavex
type_line '(loop)'
wait_state busy || fail "the loop did not start"
sleep 0.5
xdotool key ctrl+q
wait_exit "$PID"
expect "Ctrl+Q while busy" 0 "$STATUS"

# The interpreter's own end: EXIT asks the GUI to close and waits for it.
start_tavex
type_line '(exit)'
wait_exit "$PID"
expect "(exit)" 0 "$STATUS"
finish

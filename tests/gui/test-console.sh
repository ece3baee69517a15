#!/bin/bash
# The console of the workstation, typed into with real key events: results,
# expressions over several lines, history, special characters in the output,
# a long pasted line, key requests, and stopping a running evaluation with
# Ctrl-C and with the Break button.
. "$(dirname "$0")/lib.sh"
start_tavex

expect "simple sum" "3" "$(lisp '(+ 1 2)')"
expect "characters that are special to Tcl" 'a"b[c]\d{e}$f' "$(lisp '(progn (princ "a\"b[c]\\d{e}$f") (terpri) (values))' | head -1)"

# An expression over two lines is read as one.
before=$(prompts)
type_line '(* 6'
type_line '7)'
wait_prompts $((before + 1)) || fail "no prompt after a two-line expression"
expect "two-line expression" "> (* 6
. 7)
42" "$(tail -n 4 "$CONSOLE" | head -3)"

# The history holds every entered form: (+ 1 2), (progn ...), (* 6 7) over
# two lines, (* 2 3). Up four times goes back to the first, Down once to
# the second.
lisp '(* 2 3)' >/dev/null
before=$(prompts)
xdotool key Up Up Up Up Up Up Down Up
sleep 0.3
xdotool key Return
wait_prompts $((before + 1)) || fail "history: no prompt"
expect "history recall" "> (+ 1 2)
3" "$(tail -n 3 "$CONSOLE" | head -2)"

# A pasted line of 3000 characters is sent in pieces of one message each.
long='(length (list [string repeat {1 } 1500]))'
lisp "(execute \"clipboard clear; clipboard append \\\"$long\\\"\")" >/dev/null
before=$(prompts)
xdotool key ctrl+v Return
wait_prompts $((before + 1)) || fail "no prompt after the long line"
expect "long pasted line" "1500" "$(tail -n 2 "$CONSOLE" | head -1)"

# A key request answered by a real key.
before=$(prompts)
type_line '(get-key)'
wait_state key || fail "no key request"
xdotool key q
wait_prompts $((before + 1)) || fail "no prompt after get-key"
expect "get-key" "113" "$(tail -n 2 "$CONSOLE" | head -1)"

# Ctrl-C stops a running loop; the prompt comes back and works.
before=$(prompts)
type_line '(loop)'
sleep 1
xdotool key ctrl+c
wait_console "error: evaluation stopped by user" 1 || fail "Ctrl-C did not stop (loop)"
wait_prompts $((before + 1)) || fail "no prompt after Ctrl-C"
expect "after Ctrl-C" "AFTER" "$(lisp "'after")"

# The Break button does the same.
read -r bx by < <(lisp '(execute "list [expr {[winfo rootx .tMain.fTools.bBreak] + 5}] [expr {[winfo rooty .tMain.fTools.bBreak] + 5}]")' | tr -d '"')
before=$(prompts)
type_line '(loop)'
sleep 1
xdotool mousemove "$bx" "$by" click 1
wait_console "error: evaluation stopped by user" 2 || fail "the Break button did not stop (loop)"
wait_prompts $((before + 1)) || fail "no prompt after Break"
expect "after Break" "5" "$(lisp '(+ 2 3)')"

# Output arrives in batches: a carriage return inside one starts a new line
# only when not at the start of one; a run longer than one message is whole.
expect "carriage returns in a batch" 'p
q
NIL' "$(lisp '(progn (princ "p") (princ (string (code-char 13))) (princ (string (code-char 13))) (princ "q") (terpri) nil)')"
expect "a run of 2500 characters" "$(printf 'w%.0s' $(seq 2500))
NIL" "$(lisp '(progn (dotimes (i 2500) (princ "w")) (terpri) nil)')"

# Exit from the File menu (keyboard: Alt+F, x) ends the program with status 0.
xdotool key alt+f
sleep 0.3
xdotool key x
wait_exit "$PID"
expect "exit status" 0 "$STATUS"
finish

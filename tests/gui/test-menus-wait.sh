#!/bin/bash
# Menu and tool-bar commands never break off running work: one given while
# the interpreter evaluates waits, says so in the status line, and runs
# when the prompt is back, after the job has finished. Driven with real
# keys and clicks: Ctrl+O, the File menu, the Load... button.
. "$(dirname "$0")/lib.sh"
printf '(setq loaded (+ 40 2))\n(princ "x loaded")\n(terpri)\n' >"$WORK/x.lsp"
start_tavex

# choose_file TITLE NAME: types NAME into the file dialog titled TITLE.
choose_file() {
  local dialog
  dialog=$(xdotool search --sync --onlyvisible --name "^$1\$" | head -1)
  xdotool windowfocus --sync "$dialog" 2>/dev/null
  sleep 0.3
  xdotool type --delay 8 -- "$2"
  xdotool key Return
  sleep 0.3
}

status() { tk_send tavex '.tMain.fInfo.lStatus cget -text'; }

# Ctrl+O while a job sleeps: the load waits for the job.
before=$(prompts)
type_line '(progn (sleep 3000) (print "job finished"))'
sleep 0.5
xdotool key ctrl+o
choose_file "Load a Lisp file" x.lsp
settle "status while the load waits" "busy; waiting for the prompt: (load \"$WORK/x.lsp\")" status
wait_console "x loaded" || fail "the load never ran"
wait_prompts $((before + 2)) || fail "no prompt after the load"
expect "job, then load" "> (progn (sleep 3000) (print \"job finished\"))
\"job finished\"
\"job finished\"
> (load \"$WORK/x.lsp\")
; loading \"$WORK/x.lsp\"
x loaded
T" "$(tail -n 8 "$CONSOLE" | head -7)"
expect "loaded value" 42 "$(lisp 'loaded')"
expect "status at the prompt" ready "$(status)"

# Start and stop a transcript from the File menu while a job runs, and
# press the Load... button: all three wait, then run in order.
read -r bx by < <(lisp '(execute "list [expr {[winfo rootx .tMain.fTools.bLoad] + 5}] [expr {[winfo rooty .tMain.fTools.bLoad] + 5}]")' | tr -d '"')
before=$(prompts)
type_line '(progn (sleep 6000) (princ "second job") (terpri) 7)'
sleep 0.3
xdotool key alt+f; sleep 0.3; xdotool key t
choose_file "Transcript file" t.txt
xdotool mousemove "$bx" "$by" click 1
choose_file "Load a Lisp file" x.lsp
xdotool key alt+f; sleep 0.3; xdotool key p
settle "three commands wait" "busy; waiting for the prompt: (dribble \"$WORK/t.txt\") (+2)" status
wait_prompts $((before + 4)) || fail "the three commands did not all run"
expect "second job, then the commands" "second job
7
> (dribble \"$WORK/t.txt\")
T
> (load \"$WORK/x.lsp\")
; loading \"$WORK/x.lsp\"
x loaded
T
> (dribble)
NIL" "$(tail -n 11 "$CONSOLE" | head -10)"
expect "transcript of the load" "T
> ; loading \"$WORK/x.lsp\"
x loaded
T
> " "$(cat "$WORK/t.txt")"

# A command waits while the interpreter asks for a key (every key but
# Ctrl+C answers the request then, so the Load... button is used), and a
# Break does not drop it: the request ends, then the command runs.
before=$(prompts)
type_line '(get-key)'
wait_state key || fail "no key request"
xdotool mousemove "$bx" "$by" click 1
choose_file "Load a Lisp file" x.lsp
settle "waits during a key request" "press a key; waiting for the prompt: (load \"$WORK/x.lsp\")" status
xdotool windowfocus --sync "$WID" 2>/dev/null
xdotool key z
wait_prompts $((before + 2)) || fail "no load after the key"
expect "key, then load" "122
> (load \"$WORK/x.lsp\")" "$(grep -A1 '^122$' "$CONSOLE" | tail -2)"
# The same while a point is picked in the display: the status line keeps
# saying which button does what.
before=$(prompts)
type_line '(get-point (greyset 9))'
wait_state mouse || fail "no mouse request"
xdotool mousemove "$bx" "$by" click 1
choose_file "Load a Lisp file" x.lsp
settle "waits during picking" "Pick a point: left or middle button (or Ctrl+left); waiting for the prompt: (load \"$WORK/x.lsp\")" status
xdotool windowfocus --sync "$WID" 2>/dev/null
xdotool key ctrl+c
wait_prompts $((before + 2)) || fail "no load after picking was stopped"
before=$(prompts)
type_line '(loop)'
sleep 0.5
xdotool key ctrl+o
choose_file "Load a Lisp file" x.lsp
xdotool windowfocus --sync "$WID" 2>/dev/null
xdotool key ctrl+c
wait_prompts $((before + 2)) || fail "no load after Break"
expect "break, then load" "error: evaluation stopped by user
> (load \"$WORK/x.lsp\")" "$(grep -A1 'stopped by user' "$CONSOLE" | tail -2)"
finish

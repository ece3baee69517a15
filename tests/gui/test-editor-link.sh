#!/bin/bash
# The editor and the running workstation, with real key events: Ctrl+R
# loads the file (saved first when changed) or evaluates the selection in
# the workstation, and waits for its prompt rather than breaking off a
# running job; the text is coloured as Lisp while it is typed; F1 opens the
# function reference on the name at the cursor.
. "$(dirname "$0")/lib.sh"
export TAVEX_HELP_DUMP=$WORK/help.txt
printf '; doubles\n(defun f (x) (* x 2))\n(princ (f 21))\n' >"$WORK/f.lsp"
start_tavex

"$EDIT" "$WORK/f.lsp" >"$WORK/edit.log" 2>&1 &
PIDS+=("$!")
ewid=$(xdotool search --sync --name '^f.lsp - Tavex editor$' | head -1)
xdotool windowfocus --sync "$ewid" 2>/dev/null
editor() { tk_send tavex-edit "$1"; }
estatus() { editor '.tMain.lStatus cget -text'; }
tags() { editor ".tMain.fText.tText tag names $1" | tr ' ' '\n' | grep -xE 'comment|string|paren|keyword|function' | tr '\n' ' '; }

# Colouring of the file as loaded, and of a line typed at its end.
settle "comment" "comment " tags 1.3
settle "known function" "function " tags 2.3
settle "parenthesis" "paren " tags 2.0
settle "own name" "" tags 2.7
xdotool key ctrl+End
xdotool type --delay 8 -- '(if t "a (b" 3) ; (x'
sleep 0.5
settle "typed keyword" "keyword " tags 4.2
settle "typed string" "string " tags 4.9
settle "parenthesis in a string" "string " tags 4.10
settle "typed comment" "comment " tags 4.19
settle "after the form" "" tags 4.15

# Ctrl+R while a job runs: the changed file is saved, its load waits for
# the job, and the editor says so.
before=$(prompts)
xdotool windowfocus --sync "$WID" 2>/dev/null
type_line '(progn (sleep 3000) (princ "job done") (terpri))'
sleep 0.3
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+End shift+Home Delete
xdotool type --delay 8 -- '(terpri)'
xdotool key ctrl+r
sleep 0.3
settle "editor status" "f.lsp: queued until the prompt is back" estatus
expect "saved first" '; doubles
(defun f (x) (* x 2))
(princ (f 21))
(terpri)' "$(cat "$WORK/f.lsp")"
wait_prompts $((before + 2)) || fail "no prompt after the load"
expect "job, then load" "job done
NIL
> (load \"$WORK/f.lsp\")
; loading \"$WORK/f.lsp\"
42
T" "$(tail -n 7 "$CONSOLE" | head -6)"

# The selection (the defun and the call, two lines) is evaluated as typed.
before=$(prompts)
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+Home Down shift+Down shift+Down ctrl+r
wait_prompts $((before + 2)) || fail "no prompts after the selection"
expect "selection evaluated" "> (defun f (x) (* x 2))
(princ (f 21))
F
> 4242" "$(tail -n 5 "$CONSOLE" | head -4)"
settle "selection status" "selection: sent" estatus
# A selection that leaves a form open is refused.
xdotool key ctrl+Home Down shift+Right shift+Right ctrl+r
sleep 0.3
settle "open form refused" "selection: not sent: a form is not finished" estatus

# F1 on a name in the editor opens its entry.
xdotool key ctrl+Home Down Right Right F1
for ((i = 0; i < 200; i++)); do
  [ "$(head -n 1 "$TAVEX_HELP_DUMP" 2>/dev/null)" = DEFUN ] && break
  sleep 0.1
done
expect "F1 in the editor" DEFUN "$(head -n 1 "$TAVEX_HELP_DUMP" 2>/dev/null)"
[ -s "$WORK/edit.log" ] && { fail "the editor wrote errors"; cat "$WORK/edit.log"; }

# Two workstations on the display: an editor started by hand cannot tell
# which one to use and says so; one started from a workstation's File menu
# talks to that one.
SECOND=$WORK/second.txt
TAVEX_CONSOLE_DUMP=$SECOND "$TAVEX" >"$WORK/second.log" 2>&1 &
PIDS+=("$!")
for ((i = 0; i < 600; i++)); do grep -q '^> ' "$SECOND" 2>/dev/null && break; sleep 0.05; done
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+Home ctrl+r
sleep 0.3
settle "two workstations" "Load into Tavex: several Tavex workstations run; start the editor from the one to use" estatus
xdotool key ctrl+q
second=$(xdotool search --sync --onlyvisible --name '^Tavex$' | grep -vx "$WID" | head -1)
xdotool windowfocus --sync "$second" 2>/dev/null
xdotool key ctrl+e
dialog=$(xdotool search --sync --onlyvisible --name '^Edit a Lisp file$' | head -1)
xdotool windowfocus --sync "$dialog" 2>/dev/null
sleep 0.3
xdotool type --delay 8 -- f.lsp
xdotool key Return
ewid=$(xdotool search --sync --name '^f.lsp - Tavex editor$' | head -1)
xdotool windowfocus --sync "$ewid" 2>/dev/null
xdotool key ctrl+r
for ((i = 0; i < 600; i++)); do grep -q '^42$' "$SECOND" 2>/dev/null && break; sleep 0.05; done
grep -q '^42$' "$SECOND" || fail "the editor of the second workstation did not load there"
grep -c '(load ' "$CONSOLE" | grep -qx 1 || fail "the first workstation loaded the file again"
finish

#!/bin/bash
# The console as an editor of forms, with real key and mouse events: an
# unfinished form gets a continuation prompt and goes to the interpreter
# whole; Up and Down recall whole forms, kept in ~/.tavex_history across
# sessions (bounded; a history that cannot be written does not stop the
# console); the parenthesis that matches the one at the cursor is
# highlighted; the view stays where the user scrolled while output arrives.
. "$(dirname "$0")/lib.sh"
HIST=$HOME/.tavex_history
widget() { tk_send tavex ".tMain.fConsole.tText $1"; }
input() { tk_send tavex '::Console:Widget get outEnd end-1c'; }
matches() { widget "tag ranges $1" | sed 's/[0-9]*\././g'; }

start_tavex
# A form over three lines, with a parenthesis in a string and one in a
# comment that must not count; a program's READ-LINE gets its line as typed
# although the parentheses do not balance.
before=$(prompts)
type_line '(list 1 ; ('
type_line '"a)"'
type_line ')'
wait_prompts $((before + 1)) || fail "no prompt after the three-line form"
expect "continuation prompts" '> (list 1 ; (
. "a)"
. )
(1 "a)")' "$(tail -n 5 "$CONSOLE" | head -4)"
# Escape drops an unfinished form; the prompt shows again and works.
before=$(prompts)
type_line '(list 2'
xdotool type --delay 8 -- '3 4'
xdotool key Escape
wait_prompts $((before + 1)) || fail "no prompt after Escape"
expect "after Escape" 5 "$(lisp '(+ 2 3)')"
expect "dropped form" '> (list 2
> (+ 2 3)' "$(tail -n 4 "$CONSOLE" | head -2)"
before=$(prompts)
type_line '(read-line)'
type_line 'it (is'
wait_prompts $((before + 1)) || fail "READ-LINE did not get its line"
expect "program input goes as typed" '"it (is"' "$(tail -n 2 "$CONSOLE" | head -1)"

# Matching parentheses while typing: after "(a (b c)" the pair around
# "b c" is marked (the input starts in column 2, after the prompt); at the
# first, unclosed one, only that one is marked, as unmatched; so is an
# unmatched closing one.
xdotool type --delay 8 -- '(a (b c)'
settle "matched pair" ".5 .6 .9 .10" matches match
xdotool key Home
settle "no pair for the open form" ".2 .3" matches nomatch
expect "nothing matched" "" "$(matches match)"
xdotool key ctrl+u
xdotool type --delay 8 -- 'x)'
settle "unmatched closing" ".3 .4" matches nomatch
xdotool key ctrl+u

# The view stays put while the user has scrolled up; it follows the output
# otherwise. Both while a loop prints 150 lines.
lisp '(dotimes (i 60) (print i))' >/dev/null
read -r cx cy < <(lisp '(execute "list [expr {[winfo rootx .tMain.fConsole.tText] + 50}] [expr {[winfo rooty .tMain.fConsole.tText] + 50}]")' | tr -d '"')
before=$(prompts)
type_line '(dotimes (i 150) (print (+ 1000 i)) (sleep 10))'
sleep 0.5
xdotool mousemove "$cx" "$cy" click 4 click 4 click 4
wait_prompts $((before + 1)) || fail "no prompt after the printing loop"
grep -qx '1149' "$CONSOLE" || fail "the output did not arrive while scrolled up"
expect "scrolled view kept" 0 "$(widget 'yview' | awk '{print ($2 >= 1.0)}')"
lisp '(dotimes (i 100) (print i))' >/dev/null
expect "view follows the output" 1 "$(widget 'yview' | awk '{print ($2 >= 1.0)}')"

# The history file: one form a line, newlines as \n.
lisp '(* 2 3)' >/dev/null
expect "history file" '(list 1 ; (\n"a)"\n)
(+ 2 3)
(read-line)
it (is' "$(head -n 4 "$HIST")"
expect "history file end" '(* 2 3)' "$(tail -n 1 "$HIST")"
expect "history for its owner only" 600 "$(stat -c %a "$HIST")"
xdotool key ctrl+q
wait_exit "$PID"

# A second session: Up brings back the last form, then the three-line one
# (whole, in three lines), which runs again with Return.
start_tavex
xdotool key Up
settle "first recall" '(* 2 3)' input
xdotool key Up Up Up Up Up Up Up Up
settle "whole form recalled" '(list 1 ; (
"a)"
)' input
before=$(prompts)
xdotool key Return
wait_prompts $((before + 1)) || fail "no prompt after the recalled form"
expect "recalled form runs" '(1 "a)")' "$(tail -n 2 "$CONSOLE" | head -1)"
xdotool key ctrl+q
wait_exit "$PID"

# A history far over its bound is cut to the newest 500 forms.
for ((i = 0; i < 1200; i++)); do echo "(+ $i 1)"; done >"$HIST"
start_tavex
xdotool key Up
settle "newest of a long history" '(+ 1199 1)' input
expect "history cut" "500 (+ 700 1) 600" "$(wc -l <"$HIST") $(head -n 1 "$HIST") $(stat -c %a "$HIST")"
xdotool key ctrl+q
wait_exit "$PID"

# A history that cannot be written: the console works on and says so.
rm -f "$HIST"
mkdir "$HIST"
start_tavex
expect "console without history" 42 "$(lisp '(* 6 7)')"
case "$(tk_send tavex '.tMain.fInfo.lStatus cget -text')" in
  "ready (history not kept: "*) ;;
  *) fail "no word of the history in the status line" ;;
esac
expect "still works" 5 "$(lisp '(+ 2 3)')"
finish

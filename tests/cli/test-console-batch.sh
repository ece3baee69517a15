#!/bin/bash
# Console output travels in batches: the characters keep their order among
# themselves and with every other exchange (Tcl output, reads, exit), runs
# longer than one message arrive whole, carriage returns keep their rule
# inside a batch, and the transcript still gets every character.
. "$(dirname "$0")/lib.sh"

# Output of a Tcl command falls between the characters written around it.
expect_run "tcl output in order" '(progn (princ "a") (execute "puts -nonewline b; flush stdout") (princ "c") (terpri) nil)
' '> abc
NIL
> ' -xS

# 2500 characters without a newline (more than two messages), then more.
long=$(printf 'x%.0s' $(seq 2500))
expect_run "long run" '(progn (dotimes (i 2500) (princ "x")) (princ "|") (dotimes (i 1030) (princ "y")) nil)
' "> ${long}|$(printf 'y%.0s' $(seq 1030))NIL
> " -xS

# Carriage return: a new line unless at the start of one, within one batch.
expect_run "carriage returns" '(progn (princ "p") (princ (string (code-char 13))) (princ (string (code-char 13))) (princ "q") (terpri) (princ (string (code-char 13))) (princ "r") nil)
' '> p
q
rNIL
> ' -xS

# Every byte but 13 (which has its own rule) arrives as itself.
run_cli '(dotimes (i 256) (unless (= i 13) (princ (code-char i))))
' -xS
expect "all bytes: status" 0 "$STATUS"
expect "all bytes: content" "$( (printf '> '; for i in $(seq 0 255); do [ "$i" -ne 13 ] && printf "\\$(printf '%03o' "$i")"; done; printf 'NIL\n> ') | od -An -tx1)" "$(od -An -tx1 < "$OUT")"

# Output without a final newline before EXIT still shows.
expect_run "exit after output" '(progn (princ "bye") (exit))
' '> bye' -xS

# The transcript holds what the console showed (a carriage return as itself).
run_cli "(progn (dotimes (i 2500) (princ \"z\")) (terpri) 'done)
" -xS -xTtr.txt
expect "transcript: status" 0 "$STATUS"
expect "transcript: content" "> $(printf 'z%.0s' $(seq 2500))
DONE
> " "$(cat tr.txt)"
expect "transcript: console" "$(cat tr.txt)" "$(cat "$OUT")"

[ "$failures" -eq 0 ]

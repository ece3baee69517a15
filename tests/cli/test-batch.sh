#!/bin/bash
# tavex-cli --batch: scripts run without banner, prompts or "; loading"
# lines and without reading standard input; the exit status is 0 when every
# form was evaluated, 1 at the first error (named by file and line), 2 when
# a script cannot be opened. --set NAME=VALUE binds *NAME* to a string.
. "$(dirname "$0")/lib.sh"

# run_batch INPUT ARGS...: like run_cli, with standard error apart in $ERR.
run_batch() {
  local input=$1; shift
  OUT=$WORK/out.$RANDOM ERR=$WORK/err.$RANDOM
  printf '%s' "$input" | timeout 60 "$CLI" --batch "$@" >"$OUT" 2>"$ERR"
  STATUS=$?
}

cat > first.lsp <<'LSP'
(princ "first ") (setq order '(first))
LSP
cat > second.lsp <<'LSP'
(princ "second") (terpri) (setq order (cons 'second order))
(print order)
LSP
run_batch "" first second.lsp
expect "two scripts: status" 0 "$STATUS"
expect "two scripts: output" 'first second
(SECOND FIRST)
x' "$(cat "$OUT"; printf x)"

# Standard input is left alone: the script reads end of file, and what was
# there is still there for the next program.
echo '(print (list (read-line) (read) (read-char)))' > reader.lsp
out=$(printf 'kept line\n' | { "$CLI" --batch reader.lsp; echo "status $?"; cat; })
expect "stdin untouched" '(NIL NIL NIL)
status 0
kept line' "$out"

# The first error ends the run with status 1, after its message and the
# file and line where the failing form starts; later forms and files are
# not evaluated.
cat > fails.lsp <<'LSP'
; comment line
(setq done 1)

(let ((x 'a))
  (+ 1
     x))
(print 'never)
LSP
run_batch "" fails.lsp second
expect "error: status" 1 "$STATUS"
expect "error: output" '; in fails.lsp line 4
error: bad argument type - A
x' "$(cat "$OUT"; printf x)"

# Reader errors and errors in a nested LOAD count the same way.
printf '(setq a 1)\n(list 1\n  2' > open.lsp
run_batch "" open
expect "unexpected EOF: status" 1 "$STATUS"
expect "unexpected EOF: output" '; in open.lsp line 2
error: unexpected EOF
x' "$(cat "$OUT"; printf x)"
printf '(load "fails")\n(print (quote never))\n' > outer.lsp
run_batch "" outer.lsp
expect "nested load: status" 1 "$STATUS"
expect "nested load: output" '; in fails.lsp line 4
error: bad argument type - A
x' "$(cat "$OUT"; printf x)"

# An error the script catches with ERRSET is reported and the run goes on.
printf '(print (errset (car 1) nil))\n(print (quote ok))\n' > caught.lsp
run_batch "" caught.lsp
expect "errset: status" 0 "$STATUS"
expect "errset: output" 'NIL
OK
x' "$(cat "$OUT"; printf x)"

# Break loops have nobody to talk to: an error with *BREAKENABLE* set and a
# BREAK end the run with status 1, without a prompt.
printf '(setq *breakenable* t)\n(car 1)\n(print 2)\n' > breaks.lsp
run_batch "" breaks.lsp
expect "break enabled: status" 1 "$STATUS"
expect "break enabled: output" '; in breaks.lsp line 2
error: bad argument type - 1
x' "$(cat "$OUT"; printf x)"
printf '\n(break "stop here" 3)\n(print 2)\n' > breaks2.lsp
run_batch "" breaks2.lsp
expect "BREAK: status" 1 "$STATUS"
expect "BREAK: output" '; in breaks2.lsp line 2
break: stop here - 3
x' "$(cat "$OUT"; printf x)"
printf '(top-level)\n(print 2)\n' > toplevel.lsp
run_batch "" toplevel.lsp
expect "TOP-LEVEL: status" 1 "$STATUS"

# (exit) ends the run at once with status 0.
printf '(print 1)\n(exit)\n(print 2)\n' > exits.lsp
run_batch "" exits.lsp
expect "exit: status" 0 "$STATUS"
expect "exit: output" '1
x' "$(cat "$OUT"; printf x)"

# A script that cannot be opened: status 2 and a message on standard error
# before anything runs (first.lsp would print).
for missing in no-such-script no-such-dir/x.lsp .; do
  run_batch "" first.lsp "$missing"
  expect "missing [$missing]: status" 2 "$STATUS"
  expect "missing [$missing]: no output" "" "$(cat "$OUT")"
  grep -q "^tavex-cli: can't open script " "$ERR" ||
    expect "missing [$missing]: message" "tavex-cli: can't open script ..." "$(cat "$ERR")"
  [ "$missing" = . ] && reason="Is a directory" || reason="No such file or directory"
  grep -q ": $reason\$" "$ERR" || expect "missing [$missing]: reason" "...: $reason" "$(cat "$ERR")"
done
run_batch "" -xS
expect "no script: status" 2 "$STATUS"

# init.lsp loads first, silently, as in every run; an error there counts.
echo '(setq from-init (quote yes))' > init.lsp
printf '(print from-init)\n' > useinit.lsp
run_batch "" useinit.lsp -xV
expect "init.lsp: output" 'YES
x' "$(cat "$OUT"; printf x)"
echo '(car 2)' > init.lsp
run_batch "" useinit.lsp
expect "error in init.lsp: status" 1 "$STATUS"
expect "error in init.lsp: output" '; in init.lsp line 1
error: bad argument type - 2
x' "$(cat "$OUT"; printf x)"
rm init.lsp

# --set: strings bound before the files load, the name in upper case; a
# later --set of the same name wins; values keep blanks, quotes and "=".
printf '(print (list *image* *out-dir* *n* (stringp *n*)))\n' > sets.lsp
run_batch "" --set image=cells.pgm --set Out-Dir='my "dir"=x' --set n=1 --set n=2 sets.lsp
expect "--set: status" 0 "$STATUS"
expect "--set: output" '("cells.pgm" "my \"dir\"=x" "2" T)
x' "$(cat "$OUT"; printf x)"
run_batch "" --set empty= sets.lsp
expect "--set empty value: status" 1 "$STATUS"
printf '(print *empty*)\n' > empty.lsp
run_batch "" --set empty= empty.lsp
expect "--set empty value" '""
x' "$(cat "$OUT"; printf x)"
for bad in novalue =x 'a b=1' '*x*=1'; do
  run_batch "" --set "$bad" sets.lsp
  expect "--set [$bad]: status" 2 "$STATUS"
done
run_batch "" sets.lsp --set
expect "--set without a value: status" 2 "$STATUS"

# --set works in an interactive run too; without --batch nothing else changes.
expect_run "--set without --batch" '*who*
' '> "me"
> ' -xS --set who=me
finish

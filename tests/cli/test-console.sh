#!/bin/bash
# The console basics: prompt and value, the banner, input without a final
# newline, end of input in the middle of an expression or a break loop.
. "$(dirname "$0")/lib.sh"

expect_run "value" '(+ 1 2)
' '> 3
> ' -xS

expect_run "two values on a line" "'a 'b
" '> A
> B
> ' -xS

expect_run "last line without newline" "'x" '> X
> ' -xS

expect_run "no input at all" "" '> ' -xS

# Without -xS the two banner lines come first: Kestrel 2.1, then Tavex 4.3.
run_cli '(+ 1 2)
'
expect "banner: status" 0 "$STATUS"
line1=$(sed -n 1p "$OUT"); line2=$(sed -n 2p "$OUT")
[[ $line1 == *Kestrel*2.1* ]] || expect "banner: first line" "Kestrel ... 2.1" "$line1"
[[ $line2 == *Tavex*4.3* ]] || expect "banner: second line" "Tavex ... 4.3" "$line2"
expect "banner: after the banner" '> 3
> x' "$(tail -n +3 "$OUT"; printf x)"

# -xV after -xS turns the banner on again; the later option wins.
run_cli "" -xS -xV
expect "-xV: status" 0 "$STATUS"
expect "-xV: banner lines" 2 "$(grep -c . <(head -2 "$OUT"))"
[[ $(head -1 "$OUT") == *Kestrel* ]] || expect "-xV: banner" "Kestrel" "$(head -1 "$OUT")"

# End of input anywhere ends the program with status 0, keeping the output.
for input in '(+ 1' '"abc' "'" '(a (b (c' '#|' '(quote x) (quote'; do
  run_cli "$input" -xS
  expect "eof in [$input]: status" 0 "$STATUS"
  [[ $(cat "$OUT") == '> '* ]] || expect "eof in [$input]: prompt first" '> ...' "$(cat "$OUT")"
done
run_cli "(quote x) (quote" -xS
[[ $(cat "$OUT") == '> X'* ]] || expect "eof: earlier value kept" '> X...' "$(cat "$OUT")"

# A closed standard input is the end of input too.
timeout 60 "$CLI" -xS <&- >closed.out 2>&1
expect "closed stdin: status" 0 $?
expect "closed stdin: output" '> ' "$(cat closed.out)"

# End of input inside a break loop.
run_cli '(setq *breakenable* t)
undefined-variable-xyz
' -xS
expect "eof in break loop: status" 0 "$STATUS"
grep -q '^1> ' "$OUT" || expect "eof in break loop: level 1 prompt" '1> ' "$(cat "$OUT")"

# Options beginning with "--" belong to the front end: an unknown one or a
# missing file name is a usage error (status 2) before anything starts.
for args in "--no-such-option" "--display-png"; do
  run_cli "" $args
  expect "usage error for [$args]: status" 2 "$STATUS"
  grep -q "^usage: tavex-cli" "$OUT" || expect "usage error for [$args]: text" "usage: ..." "$(cat "$OUT")"
done
expect_run "--display-png with a file" "'a
" '> A
> ' -xS --display-png "$WORK/display.png"

finish

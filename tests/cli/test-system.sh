#!/bin/bash
# The system functions: CHECK, TYPE-OF, ATOI, ATOF, SLEEP, CLOCK, GETTICKS,
# TIME, ADDRESS-OF, LOAD, DRIBBLE and -xT transcripts, EXIT.
. "$(dirname "$0")/lib.sh"

expect_run "check" "(check)
(check 0)
(check 1001)
(check 1000)
(check)
(check 1)
(check 'a)
" '> 50
> 50
> 50
> 1000
> 1000
> 1
> error: bad argument type - A
> ' -xS

expect_run "type-of" "(type-of nil)
(type-of \"a\")
(type-of #(1))
(type-of 'a)
(type-of 1)
(type-of 1.5)
(type-of #\\a)
(type-of '(1))
(type-of #'car)
(type-of (lambda (x) x))
(type-of *standard-output*)
(type-of (make-string-output-stream))
(defstruct pt x y)
(type-of (make-pt))
(type-of 1 2)
(type-of)
" '> NIL
> STRING
> ARRAY
> SYMBOL
> FIXNUM
> FLONUM
> CHARACTER
> CONS
> SUBR
> CLOSURE
> FILE-STREAM
> UNNAMED-STREAM
> PT
> PT
> error: too many arguments
> error: too few arguments
> ' -xS

expect_run "atoi and atof" '(atoi "42")
(atoi " -7z")
(atoi "x")
(atoi)
(atoi 5)
(atof "2.5")
(atof "x")
(atof)
' '> 42
> -7
> 0
> error: (atoi str)
> error: bad argument type - 5
> 2.5
> 0
> error: (atof str)
> ' -xS

expect_run "clock, ticks, sleep, time" "(length (clock))
(mapcar #'integerp (clock))
(clock 1)
(integerp (getticks))
(getticks 1)
(sleep)
(sleep 10)
(sleep -5)
(sleep 'a)
(time)
(floatp (time '(sleep 1)))
(>= (time '(sleep 60)) 0.05)
(address-of nil)
(= (address-of 'car) (address-of 'car))
" '> 3
> (T T T)
> error: (clock)
> T
> error: (getticks)
> error: (sleep ms)
> NIL
> NIL
> error: bad argument type - A
> error: (time '"'"'(fct ...))
> T
> T
> 0
> T
> ' -xS

printf '(+ 1 2)\n(quote x)\n' > f.lsp
expect_run "load options" "(load \"f\" :verbose nil)
(load '|f| :print t :verbose nil)
(load 'f)
(load \"f\" :print)
" '> T
> 3
X
T
> NIL
> ; loading "f.lsp"
T
> ' -xS

expect_run "dribble" '(dribble "t1.txt")
(+ 1 2)
(dribble)
(dribble "no-such-dir/x.txt")
(dribble "a" "b")
(dribble 5)
' '> T
> 3
> NIL
> NIL
> error: too many arguments
> error: bad argument type - 5
> ' -xS
expect "dribble: transcript" 'T
> 3
> x' "$(cat t1.txt; printf x)"

expect_run "-xT transcript" "'a
" '> A
> ' -xS -xTt2.txt
expect "-xT: transcript" '> A
> x' "$(cat t2.txt; printf x)"

expect_run "exit" "(exit)
'never
" '> ' -xS
finish

#!/bin/bash
# Ctrl-C (SIGINT) stops a running evaluation with "evaluation stopped by
# user"; the prompt returns and the program goes on. A Ctrl-C while the
# console waits for input does no harm either.
. "$(dirname "$0")/lib.sh"

start_session -xS

echo "(progn (print 'started) (loop))" >&3
wait_for STARTED
kill -INT "$pid"
wait_for "error: evaluation stopped by user"
echo "'after" >&3
wait_for AFTER

# A loop whose body holds no form to evaluate polls all the same.
echo "(progn (print 'atoms) (loop 3 nil))" >&3
wait_for ATOMS
kill -INT "$pid"
wait_for "error: evaluation stopped by user" 2

# A Ctrl-C while the console waits for a line.
wait_for "> " 3
kill -INT "$pid"
wait_for "error: evaluation stopped by user" 3
echo "'again" >&3
wait_for AGAIN

# DO, DOTIMES and DOLIST poll on every pass, also when it evaluates nothing:
# an endless DO without a test, a circular list, a count of two billion.
n=4
for form in "(do () ())" "(do ((i 0)) (nil))" \
            "(let ((l (list 1))) (rplacd l l) (dolist (x l)))" "(dotimes (i 2000000000))"; do
  echo "(progn (print 'loop$n) $form)" >&3
  wait_for "LOOP$n"
  kill -INT "$pid"
  wait_for "error: evaluation stopped by user" $n
  n=$((n + 1))
done
echo "'done" >&3
wait_for DONE
exec 3>&-

wait "$pid"
expect "exit status" 0 $?
expect "whole session" '> STARTED
error: evaluation stopped by user
> AFTER
> ATOMS
error: evaluation stopped by user
> 
error: evaluation stopped by user
> AGAIN
> LOOP4
error: evaluation stopped by user
> LOOP5
error: evaluation stopped by user
> LOOP6
error: evaluation stopped by user
> LOOP7
error: evaluation stopped by user
> DONE
> x' "$(cat output; printf x)"
finish

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
> x' "$(cat output; printf x)"
finish

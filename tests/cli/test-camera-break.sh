#!/bin/bash
# Ctrl-C stops the long waits of a camera module (vimbacam over the stand-in
# SDK): the search for a camera that is not connected (7.5 s) and the wait
# for a frame within a long Timeout. Even with breaks enabled the break ends
# the evaluation without a break loop (one could unload the waiting module),
# and the module stays usable.
. "$(dirname "$0")/lib.sh"

export VIMBA_STANDIN_FILE=$WORK/scenario
echo "cameras=1 framedelay=100000000" > scenario
start_session -xS

echo '(setq *breakenable* t)' >&3
echo '(caminit "vimbacam")' >&3
echo "(progn (print 'searching) (camsnap 3))" >&3
wait_for SEARCHING
sleep 0.3
kill -INT "$pid"
wait_for "error: evaluation stopped by user"

echo "(progn (print 'waiting) (camsnap 0 \"Timeout=100000000\") (camread))" >&3
wait_for WAITING
sleep 0.3
kill -INT "$pid"
wait_for "error: evaluation stopped by user" 2

# frames come again: the module reads one
echo "cameras=1" > scenario
echo '(caminit "vimbacam")' >&3
echo '(camsnap 0 "Width=3 Height=2")' >&3
echo "(rpix (camread) '(2 1))" >&3
exec 3>&-
wait "$pid"
expect "exit status" 0 $?
expect "whole session" '> T
> T
> SEARCHING
error: evaluation stopped by user
> WAITING
error: evaluation stopped by user
> T
> T
> 5
> ' "$(cat output)"
finish

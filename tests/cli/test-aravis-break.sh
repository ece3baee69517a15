#!/bin/bash
# Ctrl-C stops the aravis module's search for a camera that is not there
# (it retries for 7.5 s), and the module stays usable afterwards.
. "$(dirname "$0")/lib.sh"

start_session -xS
echo '(caminit "aravis")' >&3
echo "(progn (print 'searching) (camsnap 5))" >&3
wait_for SEARCHING
sleep 0.3
kill -INT "$pid"
wait_for "error: evaluation stopped by user"

echo '(caminit "aravis" "Fake=1")' >&3
echo '(camsnap 0 "PixelFormat=Mono8 Width=3 Height=2")' >&3
echo "(info (camread))" >&3
exec 3>&-
wait "$pid"
expect "exit status" 0 $?
expect "whole session" '> T
> SEARCHING
error: evaluation stopped by user
> T
> T
> (0 0 3 2)
> ' "$(cat output)"
finish

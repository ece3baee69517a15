#!/bin/bash
# Ctrl-C stops a long image operator (here the direct Fourier transform of a
# 256 x 256 image, a whole-image sum per pixel); the store and the pixel
# queues stay usable: the next operators work and no image is left behind.
. "$(dirname "$0")/lib.sh"

start_session -xS

echo "(frames (list 0 0 256 256))" >&3
echo "(setq g (greyset 7))" >&3
echo "(progn (print 'started) (ft g g 1 1.0))" >&3
wait_for STARTED
kill -INT "$pid"
wait_for "error: evaluation stopped by user"
# what the stopped operator allocated is garbage: after a collection only g
# is left; labelling and reconstruction still work on the same queues
echo "(progn (gc) (room))" >&3
echo "(rpix (car (label (grey-bin g))) '(10 10))" >&3
echo "(rpix (build (greyset 9) g) '(5 5))" >&3
exec 3>&-
wait "$pid"
expect "exit status" 0 $?
out=$(cat output)
case "$out" in
  *"id used: 1 field mem used/free:"*) ;;
  *) echo "FAIL: images left after the stopped operator:"; echo "$out"; exit 1 ;;
esac
expect "label after the break" 1 "$(grep -E '^> [0-9]+$' output | sed -n 1p | tr -d '> ')"
expect "build after the break" 7 "$(grep -E '^> [0-9]+$' output | sed -n 2p | tr -d '> ')"
finish

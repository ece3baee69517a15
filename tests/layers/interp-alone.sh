#!/bin/bash
# tests/layers/interp-alone.sh PROGRAM
# The interpreter core linked alone (interp_alone.cpp) reads, evaluates and
# prints; without the image bindings an image function is simply unbound,
# and ROOM, whose last lines come from the image hooks, stops before them.
set -u
prog=$1
out=$(printf '%s\n' \
  '(defun f (n) (if (< n 2) 1 (* n (f (- n 1)))))' \
  '(f 10)' \
  '(car 5)' \
  '(binset 1)' \
  '(index test)' \
  '(room)' \
  '(sleep 1)' | "$prog" -xS 2>&1)
rc=$?
expected='> F
> 3628800
> error: bad argument type - 5
> error: unbound function - BINSET
> error: unbound function - INDEX
> '
if [ $rc -ne 0 ] || [ "${out:0:${#expected}}" != "$expected" ]; then
  echo "FAIL (status $rc); expected the output to begin with:"; echo "$expected"
  echo "got:"; echo "$out"; exit 1
fi
case $out in
  *"Nodes:"*"Collections:"*$'\nNIL\n> NIL'*) echo "layers/interp-alone: ok" ;;
  *) echo "FAIL: no ROOM report or no end; got:"; echo "$out"; exit 1 ;;
esac

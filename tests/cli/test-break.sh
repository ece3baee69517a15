#!/bin/bash
# Ctrl-C (SIGINT) stops a running evaluation with "evaluation stopped by
# user"; the prompt returns and the program goes on. A Ctrl-C while the
# console waits for input does no harm either.
. "$(dirname "$0")/lib.sh"

mkfifo input
"$CLI" -xS <input >output 2>&1 &
pid=$!
trap 'kill -9 $pid 2>/dev/null; rm -rf "$WORK"' EXIT
exec 3>input

# wait_for TEXT [COUNT]: polls the output until TEXT occurs COUNT times.
wait_for() {
  local i n
  for ((i = 0; i < 1200; i++)); do
    n=$(grep -oF -- "$1" output | wc -l)
    [ "$n" -ge "${2:-1}" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "FAIL: no \"$1\" (x${2:-1}) in the output:"; cat output
  exit 1
}

echo "(progn (print 'started) (loop))" >&3
wait_for STARTED
kill -INT "$pid"
wait_for "error: evaluation stopped by user"
echo "'after" >&3
wait_for AFTER

# A Ctrl-C while the console waits for a line.
wait_for "> " 3
kill -INT "$pid"
wait_for "error: evaluation stopped by user" 2
echo "'again" >&3
wait_for AGAIN
exec 3>&-

wait "$pid"
expect "exit status" 0 $?
expect "whole session" '> STARTED
error: evaluation stopped by user
> AFTER
> 
error: evaluation stopped by user
> AGAIN
> x' "$(cat output; printf x)"
finish

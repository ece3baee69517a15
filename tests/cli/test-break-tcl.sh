#!/bin/bash
# Ctrl-C stops a Tcl command that blocks (EXECUTE of "after 30000", an
# endless loop, one that catches the cancel) with "evaluation stopped by
# user"; Tcl and the session go on, and a Ctrl-C after a Tcl command has
# ended does not cancel the next one.
. "$(dirname "$0")/lib.sh"

start_session -xS

n=0
for cmd in 'after 30000' 'while 1 {}' 'while 1 {catch {after 30000}}'; do
  n=$((n + 1))
  echo "(progn (print 'started-$n) (execute \"$cmd\"))" >&3
  wait_for "STARTED-$n"
  sleep 0.3
  kill -INT "$pid"
  wait_for "error: evaluation stopped by user" "$n"
done
echo '(execute "expr {1+2}")' >&3
wait_for '"3"'
# a break while Lisp runs, between two Tcl commands
echo "(progn (execute \"set x 5\") (print 'looping) (loop))" >&3
wait_for LOOPING
kill -INT "$pid"
wait_for "error: evaluation stopped by user" 4
echo '(execute "expr {$x * 2}")' >&3
wait_for '"10"'
exec 3>&-
wait "$pid"
expect "exit status" 0 $?
expect "whole session" '> STARTED-1
error: evaluation stopped by user
> STARTED-2
error: evaluation stopped by user
> STARTED-3
error: evaluation stopped by user
> "3"
> LOOPING
error: evaluation stopped by user
> "10"
> x' "$(cat output; printf x)"
finish

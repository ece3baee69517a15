#!/bin/bash
# Ctrl-C stops every walk that a circular structure makes endless: EQUAL,
# FLATSIZE, FLATC, DSORT, PPRINT into a string stream, and the message and
# variable lookup of a class that is its own superclass. After each, the session goes on.
. "$(dirname "$0")/lib.sh"

start_session -xS

# two equal circular lists of atoms: the comparison never finds an end
echo "(progn (setq a (list 1 2 3) b (list 1 2 3)) (rplacd (cddr a) a) (rplacd (cddr b) b) t)" >&3
echo "(setq k (send class :new '(v)))" >&3
echo "(send class :answer :setsup '(c) '((setq superclass c)))" >&3
echo "(send k :answer :get '() '(unknown))" >&3
echo "(progn (setq o (send k :new)) (send k :setsup k) t)" >&3
n=0
for walk in "(equal a b)" "(flatsize a)" "(flatc a)" "(dsort a #'<)" \
            "(pprint a (make-string-output-stream))" "(send k :new)" \
            "(send o :get)"; do
  n=$((n + 1))
  echo "(progn (print 'started-$n) $walk)" >&3
  wait_for "STARTED-$n"
  sleep 0.2
  kill -INT "$pid"
  wait_for "error: evaluation stopped by user" "$n"
done
echo "(list (length '(1 2)) 'after)" >&3
wait_for "(2 AFTER)"
exec 3>&-
wait "$pid"
expect "exit status" 0 $?
expect "breaks" 7 "$(grep -c 'error: evaluation stopped by user' output)"
finish

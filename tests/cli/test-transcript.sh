#!/bin/bash
# A transcript holds every finished line while the session still runs, so
# a crash or a kill loses nothing (-xT and DRIBBLE alike).
. "$(dirname "$0")/lib.sh"

start_session -xS -xTlive.txt
echo "(list 'first 'line)" >&3
wait_for "(FIRST LINE)"
expect "-xT: lines so far" '> (FIRST LINE)
x' "$(cat live.txt; printf x)"
echo '(dribble "second.txt")' >&3
echo "(+ 40 2)" >&3
wait_for "42"
expect "dribble: lines so far" 'T
> 42
x' "$(cat second.txt; printf x)"
# Killed without any chance to close the file: what was written stays.
kill -9 "$pid"
wait "$pid" 2>/dev/null
expect "after a kill" 'T
> 42
x' "$(cat second.txt; printf x)"
finish

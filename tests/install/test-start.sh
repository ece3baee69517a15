#!/bin/bash
# The launcher tavex-start gives the program beside it an image budget of a
# quarter of the machine's memory unless the arguments hold -xM, and passes
# every argument on unchanged.
# Usage: test-start.sh TAVEX-START TAVEX-CLI
set -u
START=$(readlink -f "$1") CLI=$(readlink -f "$2")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {   # expect NAME EXPECTED ACTUAL
  [ "$2" = "$3" ] || { fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3"); }
}

# The machine's memory as the C library reports it (the launcher reads
# /proc/meminfo).
quarter=$(( $(getconf _PHYS_PAGES) * $(getconf PAGE_SIZE) / 4 ))
[ "$quarter" -gt 0 ] || { echo "FAIL: no memory size"; exit 1; }

# Stand-ins for the two programs: they print their name and arguments.
cp "$START" "$WORK/tavex-start"
for program in tavex tavex-cli; do
  printf '#!/bin/sh\necho %s\nfor a in "$@"; do echo "[$a]"; done\n' "$program" >"$WORK/$program"
  chmod +x "$WORK/$program"
done
run() { "$WORK/tavex-start" "$@"; }

expect "no arguments" "tavex
[-xM$quarter]" "$(run)"
expect "files and options kept as words" "tavex
[-xM$quarter]
[my file.lsp]
[-xS]
[]" "$(run "my file.lsp" -xS "")"
expect "the user's -xM" "tavex
[-xS]
[-xM5000000]
[a.lsp]" "$(run -xS -xM5000000 a.lsp)"
expect "the user's -xm" "tavex
[-xm123]" "$(run -xm123)"
expect "a bad -xM is the interpreter's to report" "tavex
[-xMlots]" "$(run -xMlots)"
expect "-xM inside a word is no budget" "tavex
[-xM$quarter]
[notes-xM.lsp]" "$(run notes-xM.lsp)"
expect "--cli" "tavex-cli
[-xM$quarter]
[--batch]
[job.lsp]" "$(run --cli --batch job.lsp)"
expect "--cli with the user's budget" "tavex-cli
[-xM999999]" "$(run --cli -xM999999)"
# Started through a relative path: the programs beside the script.
expect "through a relative path" "tavex" "$(cd "$WORK" && ./tavex-start -xM1 | head -1)"

# With the real tavex-cli: a 4096 x 4096 grey image fits the launcher's
# budget (on a machine of more than 68 MB) but not the default, nor a small
# budget that the user gives.
ln -sf "$CLI" "$WORK/tavex-cli"
session='(iframe (list 0 0 4096 4096))
(setq big (greyset 1))
(rpix big (list 4095 4095))'
expect "4096 x 4096 through the launcher" "> (0 0 4096 4096)
> g0
> 1
> " "$(cd "$WORK" && run --cli -xS <<<"$session" 2>&1)"
expect "4096 x 4096 under the user's budget" "> (0 0 4096 4096)
> error: no more image memory
> error: unbound variable - BIG
> " "$(cd "$WORK" && run --cli -xS -xM10000000 <<<"$session" 2>&1)"
expect "4096 x 4096 under the default" "> (0 0 4096 4096)
> error: no more image memory
> error: unbound variable - BIG
> " "$(cd "$WORK" && "$CLI" -xS <<<"$session" 2>&1)"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))

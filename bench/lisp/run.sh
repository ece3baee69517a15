#!/bin/bash
# run.sh BUILD_DIR: runs the interpreter benchmarks through BUILD_DIR/tavex-cli
# and prints the seconds each timed form took (and calls per second for the
# call-bound ones). Never part of the tests.
set -u
build=${1:?usage: run.sh BUILD_DIR}
cli=$build/tavex-cli
here=$(cd "$(dirname "$0")" && pwd)

# the values of the (time ...) forms: the REPL lines that hold a lone number
# after the last expression that was not timed
timings() { "$cli" -xS < "$here/$1.lsp" | grep -E '^> [0-9.e+-]+$' | sed 's/^> //'; }

report() {   # name, label list (one per timed form), calls of the timed form or 0
    local name=$1 calls=$3
    local -a labels
    read -r -a labels <<< "$2"
    local i=0
    for t in $(timings "$name" | tail -n ${#labels[@]}); do
        if [ "$calls" -gt 0 ]; then
            awk -v l="${labels[$i]}" -v t="$t" -v c="$calls" \
                'BEGIN { printf "%-22s %8.3f s  %12.0f calls/s\n", l, t, (t > 0 ? c / t : 0) }'
        else
            awk -v l="${labels[$i]}" -v t="$t" 'BEGIN { printf "%-22s %8.3f s\n", l, t }'
        fi
        i=$((i + 1))
    done
}

report fib "fib-25" 242785              # calls of (fib 25)
report tak "tak-18-12-6" 63609          # calls of (tak 18 12 6)
report sort "sort-100k dsort-100k dsort-sorted-100k" 0
report cons "cons-10M" 0
report biglist "biglist-1M" 0
report assoc "assoc-alist-10k assoc-hash-10k" 0
report jumps "go-local-1M go-unwind-1M return-1M return-from-1M throw-1M errset-1M" 0

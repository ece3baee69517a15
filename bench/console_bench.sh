#!/bin/bash
# Console message throughput: prints 200,000 characters through tavex-cli
# (2000 PRINC calls of 100 characters, sent in write-text messages of up to
# 1024 characters, each acknowledged) and reports the time and the cost of
# one message round trip. Usage: console_bench.sh [path/to/tavex-cli]   (Release build)
set -euo pipefail
cli=${1:-$(dirname "$0")/../build/tavex-cli}
[ -x "$cli" ] || { echo "console_bench: no program $cli (build the Release tree first)" >&2; exit 1; }
chars=$(printf '0123456789%.0s' $(seq 10))
run() {
  local n=$1 start end
  start=$(date +%s%N)
  printf '(dotimes (i %d) (princ "%s"))\n' "$n" "$chars" | "$cli" -xS >/dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 ))
}
base=$(run 0)                 # start-up and shutdown alone
best=
for round in 1 2 3; do
  t=$(run 2000)
  if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
net=$(( best - base ))
awk -v t="$best" -v n="$net" 'BEGIN {
  printf "print 200000 chars: %.3f s (best of 3, start-up included)\n", t / 1e6
  printf "per character (start-up excluded): %.2f us\n", n / 200000
}'

# The bare message round trip between two threads, without the interpreter.
root=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if g++ -O2 -std=c++20 -I"$root" -I/usr/include/tcl8.6 "$root/bench/pipe_roundtrip.cpp" \
     "$root/shell/extent.cpp" "$root/shell/msgframe.cpp" -ltcl8.6 -pthread -o "$tmp/rt"; then
  "$tmp/rt"
fi

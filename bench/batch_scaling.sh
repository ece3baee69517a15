#!/bin/bash
# Scaling of batch runs: the README's GNU parallel recipe (one
# `tavex-cli --batch` per image, examples/measure-objects.lsp) over 200
# generated PGM images, with -j1 and -j2, rounds interleaved so that a
# change in the machine's load touches both; the best round of each counts.
#   bench/batch_scaling.sh BUILD_DIR [ROUNDS]
set -eu
build=$(cd "$1" && pwd)
rounds=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
/usr/bin/python3 "$root/tests/cli/objects_reference.py" generate images 200 1601
cp "$root/examples/measure-objects.lsp" .

run() {   # run JOBS: seconds for one run of the recipe
  rm -rf results && mkdir results
  local t0=$(date +%s.%N)
  find images -name '*.pgm' -print0 |
    parallel -0 -j "$1" "$build/tavex-cli" --batch --set image={} \
      --set csv=results/{/.}.csv measure-objects.lsp
  local t1=$(date +%s.%N)
  [ "$(ls results | wc -l)" -eq 200 ] || { echo "batch_scaling: a job failed" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }' 
}

# The same images one after the other from a shell loop: what tavex-cli
# itself costs, without parallel's own work per job.
loop() {
  rm -rf results && mkdir results
  local t0=$(date +%s.%N) f
  for f in images/*.pgm; do
    "$build/tavex-cli" --batch --set image="$f" --set csv="results/$(basename "$f" .pgm).csv" \
      measure-objects.lsp
  done
  local t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

best() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN { print (a < b ? a : b) }'; }

best1= best2= bestl=
for ((r = 1; r <= rounds; r++)); do
  t1=$(run 1); t2=$(run 2); tl=$(loop)
  printf 'round %d: -j1 %.2f s  -j2 %.2f s  shell loop %.2f s\n' "$r" "$t1" "$t2" "$tl"
  best1=$(best "$t1" "$best1"); best2=$(best "$t2" "$best2"); bestl=$(best "$tl" "$bestl")
done
printf '200 images, best of %d: -j1 %.2f s, -j2 %.2f s, ratio -j2/-j1 %.2f (target <= 0.60)\n' \
  "$rounds" "$best1" "$best2" "$(awk -v a="$best1" -v b="$best2" 'BEGIN { print b / a }')"
printf 'tavex-cli alone, one image after the other: %.1f ms an image\n' \
  "$(awk -v t="$bestl" 'BEGIN { print t * 1000 / 200 }')"
echo "(load average now: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"

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

best1= best2=
for ((r = 1; r <= rounds; r++)); do
  t1=$(run 1); t2=$(run 2)
  printf 'round %d: -j1 %.2f s  -j2 %.2f s\n' "$r" "$t1" "$t2"
  best1=$(awk -v a="$t1" -v b="${best1:-$t1}" 'BEGIN { print (a < b ? a : b) }')
  best2=$(awk -v a="$t2" -v b="${best2:-$t2}" 'BEGIN { print (a < b ? a : b) }')
done
printf '200 images, best of %d: -j1 %.2f s, -j2 %.2f s, ratio -j2/-j1 %.2f (target <= 0.60)\n' \
  "$rounds" "$best1" "$best2" "$(awk -v a="$best1" -v b="$best2" 'BEGIN { print b / a }')"
echo "(load average now: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores)"

#!/bin/bash
# run_image_bench.sh BUILD_DIR [ROUNDS] [SECTION...]: times our image
# operators (BUILD_DIR/image_bench) and the peers' (bench/peers.py under
# Debian's python3: OpenCV, and for morphology, measurements and signal
# processing also scipy, scikit-image and numpy on the same input images)
# and prints a table with the ratio ours / peer (below 1: we are faster).
# Ours and the peers' runs alternate section by section for ROUNDS rounds
# (default 3), and each figure is the best over the rounds, so that a
# change of machine load affects both sides alike. Sections: pixel, morph,
# trans, signal (default all).
set -eu
build=$(realpath "${1:?usage: run_image_bench.sh BUILD_DIR [ROUNDS] [SECTION...]}")
rounds=${2:-3}
shift $(( $# >= 2 ? 2 : 1 ))
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=(pixel morph trans signal)
here=$(dirname "$(realpath "$0")")
ours=$(mktemp); peers=$(mktemp); data=$(mktemp -d)
trap 'rm -rf "$ours" "$peers" "$data"' EXIT
export TAVEX_BENCH_DATA=$data
for ((round = 1; round <= rounds; round++)); do
  for s in "${sections[@]}"; do
    "$build/image_bench" "$s" >> "$ours"
    /usr/bin/python3 "$here/peers.py" "$s" >> "$peers"
  done
done
# Lines: OPERATOR TYPE SIZE MS [PEER] (peer lines without a name: OpenCV);
# keep the best of each, in the order of first appearance.
best() {
  awk '{ k = $1 " " $2 " " $3 " " (NF >= 5 ? substr($0, index($0, $5)) : "opencv")
         if (!(k in ms)) { order[++n] = k; ms[k] = $4 } else if ($4 < ms[k]) ms[k] = $4 }
       END { for (i = 1; i <= n; i++) print order[i], ms[order[i]] }' "$1"
}
# best lines: OP TYPE SIZE NAME... MS
awk 'NR == FNR { k = $1 " " $2 " " $3; n = ++count[k]
                 name[k, n] = $4; for (i = 5; i < NF; i++) name[k, n] = name[k, n] " " $i
                 ms[k, n] = $NF; next }
     FNR == 1 { printf "%-14s %-5s %5s %10s  %-26s %10s %7s\n", "operator", "type", "size", "ours ms", "peer", "peer ms", "ratio" }
     { k = $1 " " $2 " " $3
       if (!(k in count)) { printf "%-14s %-5s %5d %10.3f  %-26s %10s %7s\n", $1, $2, $3, $NF, "-", "-", "-"; next }
       for (i = 1; i <= count[k]; i++) {
         p = ms[k, i]; ratio = p > 0 ? sprintf("%.2f", $NF / p) : "-"
         printf "%-14s %-5s %5d %10.3f  %-26s %10.3f %7s\n", $1, $2, $3, $NF, name[k, i], p, ratio } }' \
    <(best "$peers") <(best "$ours")

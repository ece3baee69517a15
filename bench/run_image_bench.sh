#!/bin/bash
# run_image_bench.sh BUILD_DIR: times our image operators (BUILD_DIR/image_bench)
# and the peers' (bench/peers.py under Debian's python3: OpenCV, and for
# morphology and measurements also scipy, scikit-image and numpy on the same
# input images) and prints a table with the ratio ours / peer (below 1: we
# are faster).
set -eu
build=$(realpath "${1:?usage: run_image_bench.sh BUILD_DIR}")
here=$(dirname "$(realpath "$0")")
ours=$(mktemp); peers=$(mktemp); data=$(mktemp -d)
trap 'rm -rf "$ours" "$peers" "$data"' EXIT
export TAVEX_BENCH_DATA=$data
"$build/image_bench" > "$ours"
/usr/bin/python3 "$here/peers.py" > "$peers"
# Peer lines: OPERATOR TYPE SIZE MS [PEER] (no name: OpenCV).
awk 'NR == FNR { k = $1 " " $2 " " $3; n = ++count[k]
                 name[k, n] = NF >= 5 ? $5 : "opencv"; ms[k, n] = $4; next }
     FNR == 1 { printf "%-10s %-5s %5s %10s  %-26s %10s %7s\n", "operator", "type", "size", "ours ms", "peer", "peer ms", "ratio" }
     { k = $1 " " $2 " " $3
       if (!(k in count)) { printf "%-10s %-5s %5d %10.3f  %-26s %10s %7s\n", $1, $2, $3, $4, "-", "-", "-"; next }
       for (i = 1; i <= count[k]; i++) {
         p = ms[k, i]; ratio = p > 0 ? sprintf("%.2f", $4 / p) : "-"
         printf "%-10s %-5s %5d %10.3f  %-26s %10.3f %7s\n", $1, $2, $3, $4, name[k, i], p, ratio } }' \
    "$peers" "$ours"

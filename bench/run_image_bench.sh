#!/bin/bash
# run_image_bench.sh BUILD_DIR: times our image operators (BUILD_DIR/image_bench)
# and OpenCV's (bench/peers.py under Debian's python3) and prints a table
# with the ratio ours / OpenCV (below 1: we are faster).
set -eu
build=$(realpath "${1:?usage: run_image_bench.sh BUILD_DIR}")
here=$(dirname "$(realpath "$0")")
ours=$(mktemp); peers=$(mktemp)
trap 'rm -f "$ours" "$peers"' EXIT
"$build/image_bench" > "$ours"
/usr/bin/python3 "$here/peers.py" > "$peers"
awk 'NR == FNR { peer[$1 " " $2 " " $3] = $4; next }
     FNR == 1 { printf "%-8s %-5s %5s %10s %10s %7s\n", "operator", "type", "size", "ours ms", "opencv ms", "ratio" }
     { k = $1 " " $2 " " $3; p = (k in peer) ? peer[k] : 0
       ratio = p > 0 ? sprintf("%.2f", $4 / p) : "-"
       printf "%-8s %-5s %5d %10.3f %10.3f %7s\n", $1, $2, $3, $4, p, ratio }' \
    "$peers" "$ours"

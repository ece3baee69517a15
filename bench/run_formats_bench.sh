#!/bin/bash
# run_formats_bench.sh BUILD_DIR [ROUNDS]: loading and saving 4096 x 4096
# grey and colour images in PNG, TIFF and JPEG with our filter modules
# (BUILD_DIR/formats_bench) and with OpenCV (bench/formats_peer.py, one
# thread) on the same files with the same settings, alternating the two
# sides for ROUNDS rounds (default 3, each side timing 3 runs a round);
# prints the best times and the ratio ours / OpenCV (below 1: faster).
# Times are processor time of the process, so that the load of a shared
# machine disturbs them less; both sides run on one thread.
set -eu
build=$(realpath "${1:?usage: run_formats_bench.sh BUILD_DIR [ROUNDS]}")
rounds=${2:-3}
here=$(dirname "$(realpath "$0")")
data=$(mktemp -d); ours=$data/ours.txt; peer=$data/peer.txt
trap 'rm -rf "$data"' EXIT
for ((round = 1; round <= rounds; round++)); do
  /usr/bin/python3 "$here/formats_peer.py" "$data" 3 >> "$peer"
  "$build/formats_bench" "$data" 3 >> "$ours"
done
awk 'FNR == NR { k = $1 " " $2 " " $3; if (!(k in p) || $4 < p[k]) p[k] = $4; next }
     { k = $1 " " $2 " " $3; if (!(k in o)) order[++n] = k; if (!(k in o) || $4 < o[k]) o[k] = $4 }
     END { printf "%-5s %-5s %-11s %9s %9s %6s\n", "what", "type", "format", "ours ms", "cv2 ms", "ratio"
           for (i = 1; i <= n; i++) { split(order[i], f, " ")
             printf "%-5s %-5s %-11s %9.1f %9.1f %6.2f\n", f[1], f[2], f[3], o[order[i]], p[order[i]], o[order[i]] / p[order[i]] } }' "$peer" "$ours"

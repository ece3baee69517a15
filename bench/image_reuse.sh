#!/bin/bash
# Image memory reuse: 100 calls of (setq r (infnbh g 511)) on a 1024 x 1024
# grey image, each result dropped, timed from Lisp with TIME (best of 5
# loops) under the default budget and under -xM2000000000, with the peak
# resident memory of the whole run; beside it 100 cv2.erode calls that
# allocate their result. Usage: image_reuse.sh [path/to/tavex-cli]
set -euo pipefail
cli=${1:-$(dirname "$0")/../build/tavex-cli}
[ -x "$cli" ] || { echo "image_reuse: no program $cli (build the Release tree first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
  echo "(frames '(0 0 1024 1024))"
  echo "(setq g (greyset 100))"
  for i in 1 2 3 4 5; do echo "(time '(dotimes (i 100) (setq r (infnbh g 511))))"; done
} > "$work/loop.lsp"
run() {   # budget option (or nothing): "seconds-of-best-loop peak-KB"
  /usr/bin/time -f "rss %M" -o "$work/rss" "$cli" -xS "$@" < "$work/loop.lsp" > "$work/out"
  local best
  best=$(grep -E '^> [0-9.e+-]+$' "$work/out" | sed 's/^> //' | sort -g | head -1)
  echo "$best $(sed -n 's/^rss //p' "$work/rss")"
}
printf '%-28s %10s %12s\n' "100 x (infnbh g 511)" "s (best)" "peak RSS MB"
read -r t m < <(run)
printf '%-28s %10.4f %12.1f\n' "default budget" "$t" "$(echo "$m / 1024" | bc -l)"
read -r t m < <(run -xM2000000000)
printf '%-28s %10.4f %12.1f\n' "-xM2000000000" "$t" "$(echo "$m / 1024" | bc -l)"
/usr/bin/python3 - <<'PY'
import time, numpy as np, cv2
cv2.setNumThreads(1)
g = np.full((1024, 1024), 100, np.uint8)
k = np.ones((3, 3), np.uint8)
best = 1e30
for _ in range(5):
    t0 = time.perf_counter()
    for i in range(100):
        r = cv2.erode(g, k)
    best = min(best, time.perf_counter() - t0)
print(f"{'cv2.erode x 100 (peer)':<28} {best:10.4f}")
PY

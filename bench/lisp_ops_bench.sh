#!/bin/bash
# lisp_ops_bench.sh [BUILD_DIR] [SIZE] [CALLS] [ROUNDS]: image operators as a
# user times them, from Lisp through tavex-cli: a loop of CALLS calls (default
# 100) on SIZE x SIZE images (default 1024) that keeps each result in a
# variable ("keep", (setq r (infnbh g 511))) or drops it ("drop"), with the
# default image budget and with -xM2000000000. In the same run the equivalent
# Python loop (Debian's python3, OpenCV single-threaded, numpy or scipy where
# OpenCV has no such operator) that allocates its result each time. Every
# figure is the best of ROUNDS (default 2) loops, in milliseconds per call;
# the ratio is the slowest of our four columns over the peer.
# Never part of the tests.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build}")
size=${2:-1024}
calls=${3:-100}
rounds=${4:-2}
cli=$build/tavex-cli
[ -x "$cli" ] || { echo "lisp_ops_bench: no program $cli (build the Release tree first)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inputs: a smooth relief (g) and a uniform random phase image (a), written
# in the native image format (9-byte header, grey rows with their border)
# and as raw rows for the peers.
/usr/bin/python3 - "$work" "$size" <<'PY'
import sys, numpy as np, cv2
work, n = sys.argv[1], int(sys.argv[2])
rng = np.random.default_rng(7)
g = cv2.GaussianBlur(rng.integers(0, 256, (n, n), dtype=np.uint8), (0, 0), n / 256)
g = np.clip((g.astype(np.float32) - 128) * 40 * n / 1024 / 8 + 128, 0, 255).astype(np.uint8)
a = rng.integers(0, 256, (n, n), dtype=np.uint8)
for name, img in (("g", g), ("a", a)):
    img.tofile(f"{work}/{name}.u8")
    with open(f"{work}/{name}.ima", "wb") as f:
        f.write(np.array([0, 0, n, n], dtype="<i2").tobytes() + bytes([8]))
        f.write(np.pad(img, 1).tobytes())
PY

# name, then the Lisp call and the Python expression that compute the same
# thing (the Python one allocates its result).
ops=(
  "INFNBH|(infnbh g 511)|cv2.erode(g, k3)"
  "ADD|(add g a)|np.add(g, a)"
  "COPY|(copy g)|g.copy()"
  "THRESH|(thresh g 100 255)|cv2.threshold(g, 99, 255, cv2.THRESH_BINARY)[1]"
  "LABEL|(label b)|cv2.connectedComponents(b, connectivity=8, ltype=cv2.CV_32S)"
  "BUILD|(build m b)|ndimage.binary_propagation(m, structure=eight, mask=b)"
  "CONV3|(conv g k3 0 16)|cv2.filter2D(g, -1, c3)"
  "CONV5|(conv g k5 0 256)|cv2.filter2D(g, -1, c5)"
  "CONVH|(convh g '(1 2 1) 0 4)|cv2.sepFilter2D(g, -1, h3, one)"
  "MEDIAN|(median g 1)|cv2.medianBlur(g, 3)"
  "FFT|(fft g a 1 1)|fftpair(g, a)"
  "ROT|(rot g 30)|cv2.warpAffine(g, rot, (n, n), flags=cv2.INTER_NEAREST)"
)

{
  echo "(setq g (imaload \"$work/g.ima\"))"
  echo "(setq a (imaload \"$work/a.ima\"))"
  echo "(setq b (thresh g 129 255))"
  echo "(setq m (thresh g 160 255))"
  echo "(setq k3 '((1 2 1) (2 4 2) (1 2 1)))"
  echo "(setq k5 '((1 4 6 4 1) (4 16 24 16 4) (6 24 36 24 6) (4 16 24 16 4) (1 4 6 4 1)))"
  echo "(defun bench (name form) (let ((best 1e9)) (dotimes (i $rounds) (gc) (setq best (min best (time form)))) (terpri) (princ \"@@ \") (princ name) (princ \" \") (princ (/ (* best 1000.0) $calls)) (terpri)))"
  for op in "${ops[@]}"; do
    IFS='|' read -r name call _ <<< "$op"
    echo "(bench \"$name-keep\" '(dotimes (i $calls) (setq r $call)))"
    echo "(bench \"$name-drop\" '(dotimes (i $calls) $call))"
  done
} > "$work/bench.lsp"

lisp() { "$cli" -xS "$@" < "$work/bench.lsp" | sed -n 's/^.*@@ //p'; }
lisp > "$work/default.txt"
lisp -xM2000000000 > "$work/big.txt"

{
  cat <<PY
import sys, time, numpy as np, cv2
from scipy import ndimage
cv2.setNumThreads(1)
n = $size
g = np.fromfile("$work/g.u8", dtype=np.uint8).reshape(n, n)
a = np.fromfile("$work/a.u8", dtype=np.uint8).reshape(n, n)
b = (g >= 129).astype(np.uint8)
m = g >= 160
eight = np.ones((3, 3), bool)
k3 = np.ones((3, 3), np.uint8)
c3 = np.float32([[1, 2, 1], [2, 4, 2], [1, 2, 1]]) / 16
c5 = np.outer([1, 4, 6, 4, 1], [1, 4, 6, 4, 1]).astype(np.float32) / 256
h3, one = np.float32([0.25, 0.5, 0.25]), np.float32([1])
rot = cv2.getRotationMatrix2D(((n - 1) / 2, (n - 1) / 2), -30, 1.0)
def fftpair(mag, phase):
    # polar to Cartesian, the transform, back to polar scaled to 0..255
    re, im = cv2.polarToCart(mag.astype(np.float32), phase.astype(np.float32) * np.float32(np.pi / 128))
    f = cv2.dft(cv2.merge([re, im]), flags=cv2.DFT_COMPLEX_OUTPUT)
    mg, ph = cv2.cartToPolar(f[..., 0], f[..., 1])
    return cv2.convertScaleAbs(mg, alpha=255 / max(mg.max(), 1e-30)), (ph * (128 / np.pi) + 0.5).astype(np.int32).astype(np.uint8)
def bench(name, f):
    best = 1e30
    for _ in range($rounds):
        t0 = time.perf_counter()
        for _ in range($calls):
            r = f()
        best = min(best, time.perf_counter() - t0)
    print(name, best * 1000 / $calls, flush=True)
PY
  for op in "${ops[@]}"; do
    IFS='|' read -r name _ py <<< "$op"
    echo "bench('$name', lambda: $py)"
  done
} > "$work/peers.py"
/usr/bin/python3 "$work/peers.py" > "$work/peers.txt"

echo "$size x $size, ms per call, best of $rounds loops of $calls calls"
awk 'FILENAME ~ /default/ { d[$1] = $2; next }
     FILENAME ~ /big/     { g[$1] = $2; next }
     FNR == 1 { printf "%-8s %10s %10s %10s %10s %10s %7s\n", "operator", "dflt keep", "dflt drop", "2G keep", "2G drop", "python", "ratio" }
     { k = $1 "-keep"; dr = $1 "-drop"
       worst = d[k]; if (d[dr] > worst) worst = d[dr]; if (g[k] > worst) worst = g[k]; if (g[dr] > worst) worst = g[dr]
       printf "%-8s %10.3f %10.3f %10.3f %10.3f %10.3f %7.2f\n", $1, d[k], d[dr], g[k], g[dr], $2, ($2 > 0 ? worst / $2 : 0) }' \
    "$work/default.txt" "$work/big.txt" "$work/peers.txt"

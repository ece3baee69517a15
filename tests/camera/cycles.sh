#!/bin/bash
# cycles.sh CLI: 1,000 cycles of CAMINIT, CAMSNAP, CAMREAD and CAMFREE,
# alternating vimbacam and pvapicam and the three pixel formats, through
# tavex-cli. Every image must be of the right type with the right pixel;
# in the sanitizer tree LeakSanitizer fails the run on anything leaked.
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export VIMBA_STANDIN="sensor=16x8" PVAPI_STANDIN="sensor=16x8"
program='
(setq formats (quote (("vimbacam" "Mono8" "BayerRG8" "RGB8Packed") ("pvapicam" "Mono8" "Bayer8" "Rgb24"))))
(defun cycle (i) (let* ((m (nth (rem i 2) formats)) (k (rem (/ i 2) 3)) (img nil)) (caminit (car m)) (camsnap 0 (strcat "Timeout=5000 OffsetX=0 RegionX=0 PixelFormat=" (nth (+ k 1) m))) (setq img (camread)) (camfree) (if (= k 0) (and (greyp img) (= (rpix img (quote (3 2))) 9)) (and (colp img) (equal (info img) (quote (0 0 16 8)))))))
(setq good 0)
(dotimes (i 1000) (when (cycle i) (setq good (+ good 1))))
(print (list (quote good) good))
'
out=$(printf '%s\n' "$program" | timeout 1200 "$cli" -xS 2>&1)
status=$?
if [ $status -ne 0 ] || ! grep -qx '(GOOD 1000)' <<<"$out"; then
  echo "FAIL: status $status"
  tail -40 <<<"$out"
  exit 1
fi

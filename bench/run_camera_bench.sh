#!/bin/bash
# run_camera_bench.sh BUILD_DIR: the frame rate of a Continuous-mode loop of
# CAMSNAP + CAMREAD through BUILD_DIR/tavex-cli from the stand-in cameras
# (1024 x 1024, no simulated delay) for each module and pixel format, and
# the time of the Bayer demosaicking alone (BUILD_DIR/camera_bench) beside
# OpenCV's on the same frames (bench/camera_peers.py under Debian's python3).
# Never part of the tests.
set -eu
build=$(realpath "${1:?usage: run_camera_bench.sh BUILD_DIR}")
here=$(dirname "$(realpath "$0")")
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
cd "$data"
export VIMBA_STANDIN="sensor=1024x1024" PVAPI_STANDIN="sensor=1024x1024"
frames=90

echo "CAMSNAP + CAMREAD, Continuous mode, 1024 x 1024, $frames frames"
echo "(the 33 ms pacing of the header reads allows 30.3 frames/s at most)"
printf "%-9s %-11s %9s %9s\n" module format frames/s ms/frame
for spec in vimbacam:Mono8:BayerRG8:RGB8Packed pvapicam:Mono8:Bayer8:Rgb24; do
  IFS=: read -r module f1 f2 f3 <<<"$spec"
  for format in "$f1" "$f2" "$f3"; do
    seconds=$(printf '%s\n' "(caminit \"$module\")" \
      "(camsnap 0 \"AcquisitionMode=Continuous Timeout=5000 PixelFormat=$format\")" \
      "(setq img (camread))" \
      "(time '(dotimes (i $frames) (camsnap 0) (setq img (camread))))" \
      | "$build/tavex-cli" -xS | grep -E '^> [0-9.]+$' | tail -1 | tr -d '> ')
    awk -v m="$module" -v f="$format" -v s="$seconds" -v n="$frames" \
      'BEGIN { printf "%-9s %-11s %9.1f %9.2f\n", m, f, n / s, 1000 * s / n }'
  done
done

echo
echo "Bayer demosaicking alone (debayer vs cv2.cvtColor COLOR_BayerRG2RGB, one thread)"
"$build/camera_bench" "$data" > ours
/usr/bin/python3 "$here/camera_peers.py" "$data" > peer
printf "%-6s %10s %10s %7s\n" size "ours ms" "cv2 ms" ratio
join <(awk '{ print $2, $3 }' ours) <(awk '{ print $2, $3 }' peer) |
  awk '{ printf "%-6s %10.3f %10.3f %7.2f\n", $1, $2, $3, $2 / $3 }'

#!/bin/bash
# vimbacam and pvapicam through the remote camera: tavex-cli -> remotecam ->
# remotecamd (one per connection, from systemd-socket-activate on
# 127.0.0.1) -> the module -> its stand-in SDK, whose scenario and record
# the super-server passes on in the environment. Pixels must equal the
# stand-in's frame content, errors arrive as the module's texts, and the
# server's module made the SDK calls.
# Usage: test-vendor-remote.sh TAVEX-CLI REMOTECAMD
set -u
here=$(dirname "$(realpath "$0")")
. "$here/superserver.sh"
CLI=$(realpath "$1"); SERVER=$(realpath "$2")
MODULES=$(dirname "$CLI")/lib
WORK=$(mktemp -d)
cleanup() { [ -n "${ssa:-}" ] && kill "$ssa" 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
cd "$WORK"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cp "$here/../lisp/standin.kes" .
echo "cameras=2 sensor=40x30" > scenario
start_superserver "$SERVER" "$MODULES" \
  -E VIMBA_STANDIN_FILE="$WORK/scenario" -E VIMBA_STANDIN_LOG="$WORK/vimba.log" \
  -E PVAPI_STANDIN_FILE="$WORK/scenario" -E PVAPI_STANDIN_LOG="$WORK/pvapi.log"

at="host=127.0.0.1 service=$port"
cat > remote.lsp <<LISP
(load "standin.kes")
(caminit "remotecam" "$at camera=vimbacam")
(camsnap 1 "OffsetX=3 OffsetY=2 Width=5 Height=4")
(equal (rows (camread)) (mono 3 2 5 4 0 1))
(camsnap 1 "PixelFormat=RGB8Packed")
(equal (rows (camread)) (colour 3 2 5 4 1 1))
(camsnap 1 "PixelFormat=BayerRG8 Width=7")
(equal (rows (camread)) (bayer 3 2 7 4 2 1))
(camsnap 10)
(camsnap 0 "Gain=1")
(camlut nil)
(caminit "remotecam" "$at camera=vimbacam Width=3")
(caminit "remotecam" "$at camera=pvapicam")
(camsnap 0 "PixelFormat=Bayer8 RegionX=30 RegionY=20 Width=10 Height=10")
(equal (rows (camread)) (cells 30 20 10 10 0 0))
(camsnap 0 "PixelFormat=Rgb24")
(equal (rows (camread)) (colour 30 20 10 10 1 0))
(camsnap 0 "Width=11")
(camfree)
LISP
timeout 120 "$CLI" -xS < remote.lsp > actual.out 2>&1
status=$?
[ $status -eq 0 ] || fail "tavex-cli exited with status $status"
cat > expected.out <<'OUT'
> ; loading "standin.kes"
T
> T
> T
> T
> T
> T
> T
> T
> error: cam nr must be between 0 and 9
> error: options: PixelFormat,AcquisitionMode,Timeout,BinningHorizontal,BinningVertical,OffsetX,OffsetY,Width,Height
> error: function not implemented
> error: no options available
> T
> T
> T
> T
> T
> error: set new roi
> T
OUT
printf '> ' >> expected.out
diff expected.out actual.out || fail "console output"

# the modules in the servers drove their SDKs
grep -qx "VmbCameraOpen DEV_STANDIN_1 1" vimba.log || fail "vimbacam did not open camera 1"
grep -qx "VmbFeatureEnumSet PixelFormat BayerRG8" vimba.log || fail "vimbacam did not set BayerRG8"
grep -qx "PvCaptureAdjustPacketSize 8228" pvapi.log || fail "pvapicam did not adjust the packet size"
# the server frees its module after the client has gone (camfree sleeps
# 250 ms there): give it up to 5 s
for i in $(seq 100); do grep -qx "PvUnInitialize" pvapi.log && break; sleep 0.05; done
grep -qx "PvUnInitialize" pvapi.log || fail "pvapicam was not freed"

sleep 0.2
if grep -E 'died with code [1-9]|Sanitizer|runtime error' superserver.log; then fail "a server process failed"; fi

[ $failures -eq 0 ] && exit 0
echo "$failures failure(s)"
exit 1

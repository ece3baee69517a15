#!/bin/bash
# The aravis module served by remotecamd: tavex-cli -> remotecam ->
# remotecamd (per connection, systemd-socket-activate on 127.0.0.1) ->
# aravis -> Aravis's in-process simulated camera, whose Mono8 frames are the
# ramp (x + y + k) mod 255 for a k that changes from frame to frame.
# Usage: test-aravis-remote.sh TAVEX-CLI REMOTECAMD
set -u
CLI=$(realpath "$1"); SERVER=$(realpath "$2")
MODULES=$(dirname "$CLI")/lib
WORK=$(mktemp -d)
cleanup() { [ -n "${ssa:-}" ] && kill "$ssa" 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
cd "$WORK"
. "$(dirname "$(realpath "$0")")/superserver.sh"
start_superserver "$SERVER" "$MODULES"
cat > remote.lsp <<LSP
(defun ramp-p (g x0 y0 w h)
  (let ((k (rem (+ 2550 (- (rpix g (list x0 y0)) x0 y0)) 255)) (ok t))
    (dotimes (y h ok)
      (dotimes (x w)
        (unless (= (rpix g (list (+ x0 x) (+ y0 y))) (rem (+ k x0 x y0 y) 255))
          (setq ok nil))))))
(caminit "remotecam" "host=127.0.0.1 service=$port camera=aravis Fake=1")
(camsnap 0 "PixelFormat=Mono8 OffsetX=7 OffsetY=3 Width=301 Height=77")
(type-of (setq g (camread)))
(list (type-of g) (info g) (ramp-p g 7 3 301 77))
(camsnap 0)
(ramp-p (camread) 7 3 301 77)
(camsnap 0 "PixelFormat=RGB8Packed Width=5 Height=4")
(type-of (setq c (camread)))
(list (type-of c) (info c))
(camsnap 0 "PixelFormat=Mono16")
(camlut nil)
(camfree)
LSP
cat > expected <<'OUT'
> RAMP-P
> T
> T
> GREY
> (GREY (7 3 301 77) T)
> T
> T
> T
> COL
> (COL (7 3 5 4))
> error: PixelFormat=Mono8|BayerRG8|RGB8Packed
> error: function not implemented
> T
OUT
printf '> ' >> expected
timeout 120 "$CLI" -xS < remote.lsp > actual 2>&1
diff -u expected actual || { cat superserver.log; exit 1; }

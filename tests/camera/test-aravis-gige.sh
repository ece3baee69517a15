#!/bin/bash
# The aravis module over GigE Vision: Aravis's simulated GigE camera
# (arv-fake-gv-camera-0.8) listens on 127.0.0.1 inside a network namespace of
# our own that has nothing but the loopback interface, so that the discovery
# broadcast never leaves the test. Needs root for the namespace; skipped
# (status 77) where the namespace or the simulator is not available.
set -u
CLI=$1
command -v arv-fake-gv-camera-0.8 >/dev/null || { echo "no arv-fake-gv-camera-0.8"; exit 77; }
ns=tavexarv$$
ip netns add "$ns" 2>/dev/null || { echo "cannot create a network namespace"; exit 77; }
WORK=$(mktemp -d)
cleanup() {
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
  ip netns delete "$ns" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
ip -n "$ns" link set lo up
ip netns exec "$ns" arv-fake-gv-camera-0.8 -i 127.0.0.1 >"$WORK/sim.log" 2>&1 &
sim=$!
cd "$WORK"
cat > gige.lsp <<'LSP'
(defun ramp-p (g x0 y0 w h)
  (let ((k (rem (+ 2550 (- (rpix g (list x0 y0)) x0 y0)) 255)) (ok t))
    (dotimes (y h ok)
      (dotimes (x w)
        (unless (= (rpix g (list (+ x0 x) (+ y0 y))) (rem (+ k x0 x y0 y) 255))
          (setq ok nil))))))
(caminit "aravis")
(camsnap 0 "PixelFormat=Mono8 OffsetX=4 OffsetY=2 Width=40 Height=30")
(type-of (setq g (camread)))
(list (info g) (ramp-p g 4 2 40 30))
(camsnap 0)
(ramp-p (camread) 4 2 40 30)
(camsnap 1)
(camfree)
LSP
cat > expected <<'OUT'
> RAMP-P
> T
> T
> GREY
> ((4 2 40 30) T)
> T
> T
> error: camera not connected
> T
OUT
printf '> ' >> expected
# the simulator needs a moment to listen
sleep 1
timeout 120 ip netns exec "$ns" "$CLI" -xS < gige.lsp > actual 2>&1
if ! diff -u expected actual; then
  echo "--- simulator log"; tail -20 sim.log
  exit 1
fi

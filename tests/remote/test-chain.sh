#!/bin/bash
# The whole chain: tavex-cli -> remotecam -> remotecamd (started per
# connection by a real super-server on 127.0.0.1) -> simcam. Images read
# remotely at depths 1, 8 and 24 must equal, file for file, the same images
# read from simcam directly, and their pixels the simulated scene.
# Usage: test-chain.sh TAVEX-CLI REMOTECAMD [systemd | xinetd]
#   systemd: systemd-socket-activate in inetd mode (the default);
#   xinetd: xinetd with the shipped example remote/remotecamd.xinetd, bound
#           to 127.0.0.1 on a free port instead of the services entry.
set -u
CLI=$(realpath "$1"); SERVER=$(realpath "$2"); KIND=${3:-systemd}
MODULES=$(dirname "$CLI")/lib
EXAMPLE=$(cd "$(dirname "$0")/../../remote" && pwd)/remotecamd.xinetd
WORK=$(mktemp -d)
chmod 755 "$WORK"
cleanup() { [ -n "${ssa:-}" ] && kill "$ssa" 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT
cd "$WORK"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

freeport() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# start_superserver PORT: starts it in the background ($ssa) and waits
# until it listens; fails when it does not.
start_superserver() {
  local port=$1
  : > superserver.log
  if [ "$KIND" = xinetd ]; then
    {
      printf 'defaults\n{\n}\n'
      sed -e "s|/usr/local/bin/remotecamd|$SERVER|; s|/usr/local/lib/tavex|$MODULES|" \
          -e "s|^{|{\n\ttype\t\t= UNLISTED\n\tport\t\t= $port\n\tbind\t\t= 127.0.0.1|" "$EXAMPLE"
    } > xinetd.conf
    # only root can run the service as another user
    [ "$(id -u)" -eq 0 ] || sed -i '/^\s*\(user\|group\)\s*=/d' xinetd.conf
    xinetd -dontfork -f xinetd.conf -pidfile "$WORK/xinetd.pid" 2>superserver.log &
  else
    systemd-socket-activate -l "127.0.0.1:$port" -a --inetd "$SERVER" "$MODULES" 2>superserver.log &
  fi
  ssa=$!
  for i in $(seq 200); do
    kill -0 "$ssa" 2>/dev/null || break
    if [ "$KIND" = xinetd ]; then
      /usr/bin/python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$port),1)" 2>/dev/null && return 0
    else
      grep -q "Listening on 127.0.0.1:$port" superserver.log && return 0
    fi
    sleep 0.05
  done
  kill "$ssa" 2>/dev/null; wait "$ssa" 2>/dev/null; ssa=
  return 1
}

# a free port of 127.0.0.1 (another try when it was taken meanwhile)
for attempt in $(seq 20); do
  port=$(freeport)
  start_superserver "$port" && break
done
[ -n "$ssa" ] || { echo "could not start the super-server ($KIND)"; cat superserver.log; exit 1; }

remote="host=127.0.0.1 service=$port camera=simcam"
sensor="Cameras=3 SensorWidth=1100 SensorHeight=1040"
cat > chain.lsp <<LISP
; the scene of simcam: grey X + 16 Y + nr; binary where that is >= 128;
; colour red 10 X + nr, green 10 Y + nr, blue 5 (X + Y) + nr (mod 256)
(defun grey (x y nr) (rem (+ x (* 16 y) nr) 256))
(defun scene (img x y nr) (cond ((binp img) (if (>= (grey x y nr) 128) 1 0)) ((greyp img) (grey x y nr)) (t (+ (* 65536 (rem (+ (* 10 x) nr) 256)) (* 256 (rem (+ (* 10 y) nr) 256)) (rem (+ (* 5 (+ x y)) nr) 256)))))
; pixels of the image's region (not for Bayer images, demosaicked) that differ from the scene (a corner of at most 40 x 40)
(defun wrong (img nr) (let* ((f (info img)) (n 0)) (dotimes (j (min 40 (cadddr f))) (dotimes (i (min 40 (caddr f))) (let ((x (+ (car f) i)) (y (+ (cadr f) j))) (if (/= (rpix img (list x y)) (scene img x y nr)) (setq n (+ n 1)))))) n))
(defun grab (module options format file) (caminit module options) (camsnap 2 (strcat "PixelFormat=" format " Width=1027 Height=1030 OffsetX=5 OffsetY=3")) (let ((img (camread))) (imasave img file) (list (type-of img) (info img) (if (equal format "BayerRG8") 'demosaicked (wrong img 2)))))
(defun both (format) (list (grab "simcam" "$sensor" format (strcat "local-" format ".ima")) (grab "remotecam" "$remote $sensor" format (strcat "remote-" format ".ima"))))
(both "Mono1")
(both "Mono8")
(both "RGB8Packed")
(both "BayerRG8")
; a lookup table travels too
(caminit "remotecam" "$remote")
(camlut '((1 . 99) (17 . 0)))
(camsnap 0 "Width=3 Height=2")
(type-of (setq g (camread)))
(list (rpix g '(0 0)) (rpix g '(1 0)) (rpix g '(0 1)) (rpix g '(1 1)))
; errors of the server's module arrive as the module's text
(camsnap 7)
(camsnap 0 "PixelFormat=Mono9")
(camfree)
(camsnap 0)
(caminit "remotecam" "$remote Cameras=11")
(camsnap 0)
(caminit "remotecam" "host=127.0.0.1 service=$port camera=../simcam")
(caminit "remotecam" "host=127.0.0.1 service=$port")
(caminit "remotecam")
(camfree)
LISP

timeout 240 "$CLI" -xS < chain.lsp > actual.out 2>&1
status=$?
[ $status -eq 0 ] || fail "tavex-cli exited with status $status"

cat > expected.out <<OUT
> GREY
> SCENE
> WRONG
> GRAB
> BOTH
> ((BIN (5 3 1027 1030) 0) (BIN (5 3 1027 1030) 0))
> ((GREY (5 3 1027 1030) 0) (GREY (5 3 1027 1030) 0))
> ((COL (5 3 1027 1030) 0) (COL (5 3 1027 1030) 0))
> ((COL (5 3 1027 1030) DEMOSAICKED) (COL (5 3 1027 1030) DEMOSAICKED))
> T
> T
> T
> GREY
> (0 99 16 0)
> error: camera not connected
> error: PixelFormat=Mono8|Mono1|BayerRG8|RGB8Packed
> T
> error: initialize first the camera module
> error: Cameras=1..10
> error: camera not initialized
> error: camera name must be a plain module name
> error: [camera] has to be specified
> error: (caminit "remotecam" "camera=name [camera options][host=name][service=number]"
> T
OUT
printf '> ' >> expected.out
diff expected.out actual.out || fail "console output"

for f in Mono1 Mono8 RGB8Packed BayerRG8; do
  [ -s "local-$f.ima" ] || fail "no local $f image"
  cmp "local-$f.ima" "remote-$f.ima" || fail "$f: the remote image differs from the local one"
done

# every server process ended normally (systemd-socket-activate reports
# their exits; a sanitizer report would show on standard error under both)
sleep 0.2
if grep -E 'died with code [1-9]|Sanitizer|runtime error' superserver.log; then fail "a server process failed"; fi

[ $failures -eq 0 ] && exit 0
echo "$failures failure(s)"
exit 1

#!/bin/bash
# The Debian package: cpack builds it from the build tree into a folder of
# its own, dpkg -x unpacks it into a temporary root, and the programs run
# from there with a clean environment: tavex-cli loads the file and camera
# modules from the root's lib/tavex (the dynamic loader's record shows which
# files), the help file of the root covers every function, and under X the
# workstation (through tavex-start) and the help viewer it starts find their
# scripts in the root's share/tavex.
# Usage: test-package.sh BUILD-DIR   (run under tests/gui/under-xvfb)
set -u
BUILD=$(readlink -f "$1")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
HERE=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() {   # expect NAME EXPECTED ACTUAL
  [ "$2" = "$3" ] || { fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -20; }
}

# ---------------------------------------------------------------- build
if ! cpack --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkg" >"$WORK/cpack.log" 2>&1; then
  echo "FAIL: cpack"; cat "$WORK/cpack.log"; exit 1
fi
deb=$(ls "$WORK"/pkg/tavex_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no package"; ls -R "$WORK/pkg" | head; exit 1; }

expect "package name" "tavex" "$(dpkg-deb -f "$deb" Package)"
# The dependencies come from the libraries the programs and modules link.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
for lib in libtcl8.6 libtk8.6 libx11-6 libpng16-16 libtiff6 libjpeg62-turbo libaravis-0.8-0 libstdc++6; do
  grep -qxF "$lib" <<<"$depends" || fail "Depends without $lib:" $depends
done

dpkg -x "$deb" "$WORK/root" || { echo "FAIL: dpkg -x"; exit 1; }
ROOT=$WORK/root/usr
for file in bin/tavex bin/tavex-cli bin/tavex-edit bin/tavex-help bin/tavex-start bin/remotecamd \
    lib/tavex/png.so lib/tavex/tiff.so lib/tavex/jpeg.so lib/tavex/pgm.so lib/tavex/simcam.so \
    lib/tavex/remotecam.so lib/tavex/aravis.so lib/tavex/vimbacam.so lib/tavex/pvapicam.so \
    share/tavex/disp/tavex.tcl share/tavex/edit/edit.tcl share/tavex/help/help.tcl \
    share/tavex/help/functions.txt share/tavex/help/overview.txt \
    share/man/man1/tavex.1.gz share/man/man1/tavex-cli.1.gz share/man/man8/remotecamd.8.gz \
    share/applications/tavex.desktop share/icons/hicolor/scalable/apps/tavex.svg \
    lib/systemd/system/remotecamd.socket lib/systemd/system/remotecamd@.service \
    share/doc/tavex/examples/remotecamd.xinetd; do
  [ -f "$ROOT/$file" ] || fail "the package lacks /usr/$file"
done
# The man pages are compressed copies of the pages in dist/.
for page in man1/tavex.1 man1/tavex-cli.1 man8/remotecamd.8; do
  zcat "$ROOT/share/man/$page.gz" 2>/dev/null | cmp -s - "$HERE/../../dist/${page#*/}" ||
    fail "/usr/share/man/$page.gz is not a gzip copy of dist/${page#*/}"
done
# Test modules stay out.
for file in lib/tavex/incomplete.so lib/tavex/simcamnolut.so; do
  [ -e "$ROOT/$file" ] && fail "the package holds the test module /usr/$file"
done
# The super-server files name the installed server and module folder.
grep -qx 'ExecStart=/usr/bin/remotecamd /usr/lib/tavex' "$ROOT/lib/systemd/system/remotecamd@.service" ||
  fail "remotecamd@.service does not start /usr/bin/remotecamd /usr/lib/tavex"
grep -qE '^\s*server\s*=\s*/usr/bin/remotecamd$' "$ROOT/share/doc/tavex/examples/remotecamd.xinetd" ||
  fail "remotecamd.xinetd does not name /usr/bin/remotecamd"

# ---------------------------------------------------------------- tavex-cli
# Nothing of the build tree on the paths: a clean environment, a working
# folder of its own.
mkdir "$WORK/run"
cd "$WORK/run"
clean() { env -i PATH=/usr/bin:/bin HOME="$WORK/run" ${DISPLAY:+DISPLAY=$DISPLAY} \
              ${XAUTHORITY:+XAUTHORITY=$XAUTHORITY} "$@"; }
session='(setq g (greyset 100))
(wpix g (list 3 4) 7)
(imasave g "x.png" "png")
(setq h (imaload "x.png" "png"))
(list (rpix h (list 3 4)) (rpix h (list 0 0)) (info h))
(caminit "simcam")
(camsnap 0 "PixelFormat=Mono8 Width=64 Height=48")
(info (camread))
(camfree)'
actual=$(clean LD_DEBUG=files "$ROOT/bin/tavex-cli" -xS <<<"$session" 2>"$WORK/ld.log")
expect "tavex-cli with the modules" "> g0
> g0
> T
> g1
> (7 100 (0 0 256 256))
> T
> T
> (0 0 64 48)
> T
> " "$actual"
for module in png simcam; do
  loaded=$(grep -oE "calling init: .*/$module\.so" "$WORK/ld.log" | sed 's/.*calling init: //' | head -1)
  [ "$(readlink -f "$loaded")" = "$(readlink -f "$ROOT/lib/tavex/$module.so")" ] ||
    fail "$module.so came from ${loaded:-nowhere}, not the package"
done

# The help file of the package documents every function of this tavex-cli.
"$HERE/../gui/check-help-coverage.sh" "$ROOT/bin/tavex-cli" "$ROOT/share/tavex/help/functions.txt" ||
  fail "help coverage of the installed files"

# ---------------------------------------------------------------- under X
# The workstation through the installed launcher: its script, the modules
# and a 4096 x 4096 image under the launcher's budget; it ends by itself.
cat >job.lsp <<'EOF'
(setq g (imaload "x.png" "png"))
(iframe (list 0 0 4096 4096))
(setq big (greyset 1))
(imasave g "y.png" "png")
(execute "Program:Start help")
(exit)
EOF
timeout 60 env -i PATH=/usr/bin:/bin HOME="$WORK/run" DISPLAY="$DISPLAY" \
  ${XAUTHORITY:+XAUTHORITY=$XAUTHORITY} TAVEX_CONSOLE_DUMP="$WORK/console.txt" \
  TAVEX_HELP_DUMP="$WORK/help.txt" \
  "$ROOT/bin/tavex-start" -xS job.lsp >"$WORK/tavex.log" 2>&1
status=$?
expect "tavex-start job.lsp status" 0 "$status"
[ -f y.png ] || { fail "the workstation did not run job.lsp"; cat "$WORK/tavex.log"; }
grep -q "no more image memory" "$WORK/console.txt" 2>/dev/null && fail "4096 x 4096 refused under tavex-start"

# The help viewer that the workstation started (tavex-help beside it, not
# some other help) shows its overview page, read from the package; it ends
# with the X server.
for ((i = 0; i < 600; i++)); do
  [ -f "$WORK/help.txt" ] && grep -q "Batch runs" "$WORK/help.txt" && break
  sleep 0.05
done
grep -q "Batch runs" "$WORK/help.txt" 2>/dev/null || { fail "no help overview from the workstation"; cat "$WORK/tavex.log"; }

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))

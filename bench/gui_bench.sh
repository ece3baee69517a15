#!/bin/bash
# GUI benchmarks under a virtual X server: printing 200,000 characters into
# the workstation's console (2500 lines of 80), and painting a 4096 x 4096
# image into a 1000 x 800 display canvas (the painter alone, 20 runs).
# Usage: gui_bench.sh [path/to/tavex]   (Release build)
set -euo pipefail
tavex=$(readlink -f "${1:-$(dirname "$0")/../build/tavex}")
[ -x "$tavex" ] || { echo "gui_bench: no program $tavex" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "gui_bench: xvfb-run is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

line=$(printf 'x%.0s' $(seq 79))
cat >"$work/console.lsp" <<LSP
(setq line "$line")
(setq t0 (getticks))
(dotimes (i 2500) (princ line) (terpri))
(execute "Console:Flush")
(setq ms (- (getticks) t0))
(execute (format nil "set f [open $work/console.txt w]; puts \$f ~a; close \$f" ms))
(exit)
LSP
cat >"$work/paint.lsp" <<LSP
(iframe '(0 0 4096 4096))
(setq g (greyset 100))
(display g)
(execute ".tMain.cDisplay configure -width 1000 -height 800; wm geometry .tMain {}; update")
(execute "set f [open $work/paint.txt w]; puts \$f [time {GuiDispConfigure 1000 800} 20]; close \$f")
(execute "GuiDispView 8 1; set f [open $work/paint8.txt w]; puts \$f [time {GuiDispPan 16 16} 20]; close \$f")
(execute "GuiDispView 1 8; set f [open $work/paint18.txt w]; puts \$f [time {GuiDispConfigure 1000 800} 20]; close \$f")
(execute "GuiDispView fit")
(setq t0 (getticks))
(dotimes (i 10) (display g))
(setq grey (- (getticks) t0))
(setq c (colset #x102030))
(setq t0 (getticks))
(dotimes (i 10) (display c))
(setq col (- (getticks) t0))
(execute (format nil "set f [open $work/display.txt w]; puts \$f {~a ~a}; close \$f" grey col))
(exit)
LSP

best=
for round in 1 2 3; do
  xvfb-run -a -s "-screen 0 1600x1200x24" "$tavex" "$work/console.lsp" >/dev/null 2>&1
  t=$(cat "$work/console.txt")
  if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
echo "console, 200000 characters: ${best} ms (best of 3)"
xvfb-run -a -s "-screen 0 1600x1200x24" "$tavex" -xM100000000 "$work/paint.lsp" >/dev/null 2>&1
echo "paint 4096x4096 into 1000x800: $(cat "$work/paint.txt")"
echo "pan the same at 8x (the visible part): $(cat "$work/paint8.txt")"
echo "paint the same at 1:8: $(cat "$work/paint18.txt")"
read -r grey col < "$work/display.txt"
echo "display 4096x4096 (picture and readout values, painted): grey $((grey / 10)) ms, colour $((col / 10)) ms"

#!/bin/bash
# Costs of the Lisp text routines that run on every key in the editor and
# the console (src/edit/lisptext.tcl), on a generated file of 5000 lines
# (102,000 characters): colouring the 60 lines of a window (what a key in
# the editor costs), colouring the whole file (opening it), and deciding
# whether a 2800-character form is finished (Return in the console).
# Usage: lisptext_bench.sh   (needs wish8.6 and xvfb-run)
set -euo pipefail
src=$(cd "$(dirname "$0")/../src" && pwd)
command -v xvfb-run >/dev/null || { echo "lisptext_bench: xvfb-run is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/bench.tcl" <<TCL
wm withdraw .
source $src/edit/lisptext.tcl
Lisp:LoadNames $src/help/functions.txt
set unit {; a comment (with parens)
(defun area (r)
  "circle area"
  (let ((pi 3.14159))
    (* pi r r)))

#| block
   comment |#
(if (> (area 2) 10) (print "big") (print #\\( ))
(setq img (imaload "x.png" "png"))
}
set text [string repeat \$unit 500]
text .t
.t insert 1.0 \$text
proc ms {script count} {
    format %.2f [expr {[lindex [uplevel 1 [list time \$script \$count]] 0] / 1000.0}]
}
puts "| what | ms |"
puts "|---|---|"
puts "| colour 60 lines in view | [ms {Lisp:Colour .t 1.0 61.0} 20] |"
puts "| colour the whole file (5000 lines) | [ms {Lisp:Colour .t 1.0 end} 3] |"
set form "(list [string repeat {(a "b)" #\\( ) } 200])"
puts "| finished? 2800-character form | [ms {Lisp:Complete \$form} 20] |"
exit
TCL
xvfb-run -a wish8.6 "$work/bench.tcl"

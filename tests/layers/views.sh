#!/bin/bash
# tests/layers/views.sh CXX VIEWS
# Each layer compiles against an include view of the headers below it: a
# header of the layer itself or below is found, one of a layer above is
# not. Compiles one-line units against each view (build/views/NAME).
set -u
cxx=$1 views=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0

# compiles VIEW HEADER: 0 when a unit including HEADER compiles in VIEW
compiles() {
  printf '#include "%s"\n' "$2" >"$tmp/unit.cpp"
  "$cxx" -std=c++20 -fsyntax-only -I"$views/$1" "$tmp/unit.cpp" 2>"$tmp/err"
}
sees() {
  if ! compiles "$1" "$2"; then
    echo "FAIL: view $1 does not see $2:"; cat "$tmp/err"; failed=1
  fi
}
hides() {
  if compiles "$1" "$2"; then
    echo "FAIL: view $1 sees $2, a header of a layer above it"; failed=1
  elif ! grep -qE "No such file|file not found" "$tmp/err"; then
    echo "FAIL: view $1, $2 failed for another reason:"; cat "$tmp/err"; failed=1
  fi
}

sees leaf image/savefile.h;      hides leaf image/intern.h
sees image image/base.h;         sees image image/io.h
hides image interp/ks.h;         hides image image/tvimage.h;   hides image shell/disp.h
sees interp interp/ks.h;         sees interp image/savefile.h
hides interp image/intern.h;     hides interp shell/extent.h;   hides interp image/tvhooks.h
sees platform shell/msgframe.h;  sees platform shell/disp.h
hides platform interp/ks.h;      hides platform image/intern.h
sees bindings image/tvimage.h;   sees bindings shell/disp.h;    sees bindings image/trans.h
hides bindings shell/msgframe.h; hides bindings shell/frontend.h
sees modules image/camera.h;     sees modules filters/filterkit.h; sees modules remote/protocol.h
hides modules interp/ks.h;       hides modules image/tvimage.h; hides modules shell/extent.h

[ $failed = 0 ] && echo "layers/views: ok"
exit $failed

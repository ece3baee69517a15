#!/bin/bash
# The installed documents: the man pages format without a warning (groff
# with all warnings, and man itself), the page of tavex-cli describes every
# option its usage text lists, and the desktop entry passes
# desktop-file-validate.
# Usage: test-docs.sh SOURCE-DIR TAVEX-CLI
set -u
DIST=$1/dist CLI=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for page in tavex.1 tavex-cli.1 remotecamd.8; do
  out=$(groff -man -ww -z "$DIST/$page" 2>&1)
  [ -z "$out" ] || fail "groff warns about $page: $out"
  out=$(MANWIDTH=80 man --warnings -l "$DIST/$page" 2>&1 >/dev/null)
  [ -z "$out" ] || fail "man warns about $page: $out"
  # Every page has the sections a reader looks for.
  for section in NAME SYNOPSIS DESCRIPTION FILES EXAMPLES "SEE ALSO"; do
    grep -qx "\.SH \"*$section\"*" "$DIST/$page" || fail "$page has no $section section"
  done
done

# The options of the usage text, as man shows them in tavex-cli(1).
usage=$("$CLI" --no-such-option 2>&1 | sed -n 's/^usage: //p')
[ -n "$usage" ] || fail "tavex-cli printed no usage"
shown=$(MANWIDTH=200 man -l "$DIST/tavex-cli.1" 2>/dev/null)
for option in $(grep -oE '\[-[-a-zA-Z]+' <<<"$usage" | tr -d '['); do
  grep -qE "^ +$option" <<<"$shown" || fail "tavex-cli(1) describes no $option"
done

if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$DIST/tavex.desktop" 2>&1)
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  fail "desktop-file-validate is not installed (scripts/setup test)"
fi
grep -qx 'Exec=tavex-start %F' "$DIST/tavex.desktop" || fail "the desktop entry does not start tavex-start"

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))

#!/bin/bash
# Every function that (index lisp), (index ima) and (index test) list has an
# entry in the help viewer's data file, every entry names a real function,
# every entry has its arguments, result, messages and an example, and every
# entry belongs to one of the themes of the overview page.
# Usage: check-help-coverage.sh path/to/tavex-cli path/to/functions.txt
set -u
cli=$1 data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The three tables as the interpreter lists them: "TABLE NAME" lines.
for table in lisp ima test; do
  printf '(index %s)\n' "$table" | timeout 60 "$cli" -xS >"$work/$table.out" 2>&1 || {
    echo "FAIL: tavex-cli could not list the $table table"; cat "$work/$table.out"; exit 1; }
  grep -o '"[^"]*"' "$work/$table.out" | tr -d '"' | sed "s/^/$table /"
done | sort -u >"$work/tables"

count=$(wc -l <"$work/tables")
if [ "$count" -lt 300 ]; then
  echo "FAIL: only $count names listed by the three tables"; cat "$work"/*.out; exit 1
fi

# The names documented: "@ TABLE NAME NAME..." headers.
awk '/^@ / { for (i = 3; i <= NF; i++) print $2, $i }' "$data" | sort >"$work/documented.all"
sort -u "$work/documented.all" >"$work/documented"

failures=0
missing=$(comm -23 "$work/tables" "$work/documented")
if [ -n "$missing" ]; then
  echo "FAIL: functions without a help entry:"; echo "$missing"; failures=$((failures + 1))
fi
unknown=$(comm -13 "$work/tables" "$work/documented")
if [ -n "$unknown" ]; then
  echo "FAIL: help entries for names no table lists:"; echo "$unknown"; failures=$((failures + 1))
fi
twice=$(uniq -d "$work/documented.all")
if [ -n "$twice" ]; then
  echo "FAIL: names documented twice:"; echo "$twice"; failures=$((failures + 1))
fi

# Every entry has the four fields, each with some text.
incomplete=$(awk '
  function check() {
    if (head != "" && (f["args"] == "" || f["returns"] == "" || f["errors"] == "" || f["example"] == ""))
      print head
  }
  /^@ / { check(); head = $0; delete f; next }
  /^(args|returns|errors|example|note): *[^ ]/ { key = $1; sub(/:.*/, "", key); f[key] = 1 }
  END { check() }' "$data")
if [ -n "$incomplete" ]; then
  echo "FAIL: entries without args, returns, errors or example:"; echo "$incomplete"
  failures=$((failures + 1))
fi

# Themes: the block of "% THEME" lines before the first entry declares
# them; every entry lies under a declared theme (so each name is in exactly
# one), and every declared theme has entries.
themes=$(awk '
  /^@ / { seen = 1; if (theme == "") print "entry without a theme: " $0
          else if (!(theme in declared)) print "undeclared theme: " theme; used[theme] = 1 }
  /^% / { theme = substr($0, 3); if (!seen) declared[theme] = 1 }
  END { for (t in declared) if (!(t in used)) print "theme without entries: " t }' "$data" | sort -u)
if [ -n "$themes" ]; then
  echo "FAIL: themes:"; echo "$themes"; failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "help coverage: $count functions documented"
exit $((failures > 0))

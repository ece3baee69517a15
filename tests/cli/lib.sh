# Helpers for the tavex-cli tests. Sourced with the program path in $1.
set -u
CLI=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
failures=0

# expect NAME EXPECTED ACTUAL: compares two texts exactly.
expect() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1"
    diff <(printf '%s' "$2") <(printf '%s' "$3") | head -20
    failures=$((failures + 1))
  fi
}

# run_cli INPUT ARGS...: runs the program with INPUT on stdin; the output
# goes to $OUT (a file), the exit status to $STATUS.
run_cli() {
  local input=$1; shift
  OUT=$WORK/out.$RANDOM
  printf '%s' "$input" | timeout 60 "$CLI" "$@" >"$OUT" 2>&1
  STATUS=$?
}

# expect_run NAME INPUT EXPECTED ARGS...: output and status 0.
expect_run() {
  local name=$1 input=$2 expected=$3; shift 3
  run_cli "$input" "$@"
  expect "$name: exit status" 0 "$STATUS"
  expect "$name: output" "${expected}x" "$(cat "$OUT"; printf x)"
}

finish() {
  [ "$failures" -eq 0 ] && exit 0
  echo "$failures failure(s)"
  exit 1
}

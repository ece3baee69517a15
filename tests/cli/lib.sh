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

# start_session ARGS...: starts the program in the background reading from
# a FIFO held open on descriptor 3 (write input with `echo ... >&3`), its
# output going to the file "output"; $pid is its process id.
start_session() {
  mkfifo input
  "$CLI" "$@" <input >output 2>&1 &
  pid=$!
  trap 'kill -9 $pid 2>/dev/null; rm -rf "$WORK"' EXIT
  exec 3>input
}

# wait_for TEXT [COUNT]: polls the session's output until TEXT occurs COUNT
# times; fails the test (showing the output) when it never does.
wait_for() {
  local i n
  for ((i = 0; i < 1200; i++)); do
    n=$(grep -oF -- "$1" output | wc -l)
    [ "$n" -ge "${2:-1}" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "FAIL: no \"$1\" (x${2:-1}) in the output:"; cat output
  exit 1
}

# Helpers of the GUI tests, sourced with the program paths as arguments:
# tavex edit help tavex-cli. The window is driven with real X events
# (xdotool); the console text is read back through the script's dump hook
# (TAVEX_CONSOLE_DUMP names a file that receives the console's whole text
# after every change).
set -u
TAVEX=$(readlink -f "$1") EDIT=$(readlink -f "$2") HELP=$(readlink -f "$3") CLI=$(readlink -f "$4")
WORK=$(mktemp -d)
# The console keeps its history in ~/.tavex_history: never the user's own.
export HOME=$WORK
CONSOLE=$WORK/console.txt
PIDS=()
failures=0
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
TESTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$WORK"

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect NAME EXPECTED ACTUAL: compares two texts exactly.
expect() {
  if [ "$2" != "$3" ]; then
    fail "$1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | head -20
  fi
}

finish() {
  [ "$failures" -eq 0 ] && echo "all passed"
  exit $((failures > 0))
}

# start_tavex ARGS...: starts the workstation and waits for its first prompt;
# sets PID and WID (the main window).
start_tavex() {
  rm -f "$CONSOLE"
  TAVEX_CONSOLE_DUMP=$CONSOLE "$TAVEX" "$@" >"$WORK/tavex.log" 2>&1 &
  PID=$!
  PIDS+=("$PID")
  wait_console "> " 1 || { echo "tavex did not start:"; cat "$WORK/tavex.log"; exit 1; }
  WID=$(xdotool search --sync --name '^Tavex$' | head -1)
  xdotool windowfocus --sync "$WID" 2>/dev/null
}

# wait_console TEXT [COUNT]: waits (up to 30 s) until TEXT occurs COUNT
# times in the console.
wait_console() {
  local i n
  for ((i = 0; i < 600; i++)); do
    if [ -f "$CONSOLE" ]; then
      n=$(grep -oF -- "$1" "$CONSOLE" | wc -l)
      [ "$n" -ge "${2:-1}" ] && return 0
    fi
    sleep 0.05
  done
  return 1
}

# wait_prompts N: waits (up to 30 s) until the console has N prompt lines
# and ends with a fresh prompt.
wait_prompts() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ "$(prompts)" -ge "$1" ] && [ "$(tail -c 2 "$CONSOLE")" = "> " ] && return 0
    sleep 0.05
  done
  return 1
}

# wait_state STATE: waits (up to 30 s) until the interpreter waits for a
# line, a key or a mouse click ("line", "key", "mouse").
wait_state() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ "$(cat "$CONSOLE.state" 2>/dev/null)" = "$1" ] && return 0
    sleep 0.05
  done
  echo "(the console waits for: $(cat "$CONSOLE.state" 2>/dev/null))"
  return 1
}

# prompts: the number of prompt lines in the console.
prompts() {
  [ -f "$CONSOLE" ] && grep -c '^> ' "$CONSOLE" || echo 0
}

# type_line TEXT: types the text and Return with real key events.
type_line() {
  xdotool type --delay 8 -- "$1"
  xdotool key Return
}

# lisp EXPR: types the expression, waits for the next prompt and prints
# what the console shows between the expression and that prompt.
lisp() {
  local before
  before=$(prompts)
  type_line "$1"
  wait_prompts $((before + 1))
  awk -v n="$before" '/^> / { seen++ } seen == n && !/^> / { print } seen > n { exit }' "$CONSOLE"
}

# wait_exit PID: waits up to 20 s for the process to end and sets STATUS to
# its exit status ("hung" when it did not end). Not to be called in $(...):
# only this shell can collect its children's status.
wait_exit() {
  local i
  STATUS=hung
  for ((i = 0; i < 400; i++)); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      STATUS=$?
      return
    fi
    sleep 0.05
  done
}

# pixel X Y: the colour of a screen pixel as "r,g,b" (a fresh screenshot).
pixel() {
  import -window root "$WORK/shot.png"
  convert "$WORK/shot.png" -crop "1x1+$1+$2" -depth 8 txt:- |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p' | head -1
}

# tk_send APP SCRIPT: evaluates the Tcl SCRIPT in the Tk application APP
# (tavex, tavex-edit, tavex-help) with Tk's send and prints the result, so
# that a test can read a widget's text, tags or view.
tk_send() {
  printf 'wm withdraw .\nputs [send -- {%s} {%s}]\nexit\n' "$1" "$2" >"$WORK/send.tcl"
  timeout 20 wish8.6 "$WORK/send.tcl"
}

# settle NAME EXPECTED COMMAND...: expects what the command prints, giving
# the window up to 10 s to get there (keys are handled asynchronously).
settle() {
  local name=$1 want=$2 got i
  shift 2
  for ((i = 0; i < 50; i++)); do
    got=$("$@")
    [ "$got" = "$want" ] && break
    sleep 0.2
  done
  expect "$name" "$want" "$got"
}

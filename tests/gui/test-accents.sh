#!/bin/bash
# Text beyond ASCII in the console, with real key events: typed and pasted
# text goes to the interpreter in UTF-8; output shows as UTF-8 where its
# bytes form valid sequences and as ISO 8859-1 elsewhere, also when a
# sequence is cut between two output messages; accented file names work
# typed and through the File menu (Load, Open image, Save image, transcript).
# xvfb-retry-once (see under-xvfb: xdotool can lose a typed key beyond ASCII)
export LC_ALL=C.UTF-8
. "$(dirname "$0")/lib.sh"

mkdir "données"
printf '(setq loaded (quote |chargé|))\n' > "données/été.lsp"
printf '(setq by-menu "menu ü")\n' > "données/menü.lsp"
"$CLI" -xS >/dev/null <<'LSP'
(imasave (greyset 77) "données/imagé.ima")
LSP
[ -s "données/imagé.ima" ] || { echo "could not make the test image"; exit 1; }
# Characters beyond ASCII get keys of their own in the server's keymap:
# without, xdotool remaps a spare key for each such character, and a window
# slow to read the key (under the sanitizers) finds the mapping undone.
add_keys() {
  xkbcomp -xkb "$DISPLAY" "$WORK/keymap.xkb" 2>/dev/null || return 1
  /usr/bin/python3 - "$WORK/keymap.xkb" "$@" <<'PY' || return 1
import re, sys
path, keysyms = sys.argv[1], sys.argv[2:]
text = open(path).read()
declared = re.findall(r"^\s*<(I\d+)> = \d+;", text, re.M)
used = set(re.findall(r"^\s*key <(I\d+)>", text, re.M))
free = [k for k in declared if k not in used][:len(keysyms)]
if len(free) < len(keysyms):
    sys.exit("no free keys")
start = text.index("xkb_symbols")
end = text.index("\n};", start)
keys = "".join(f"    key <{k}> {{ [ {s} ] }};\n" for k, s in zip(free, keysyms))
open(path, "w").write(text[:end + 1] + keys + text[end + 1:])
PY
  xkbcomp "$WORK/keymap.xkb" "$DISPLAY" 2>/dev/null
}
add_keys eacute udiaeresis EuroSign || { echo "could not add keys to the keymap"; exit 1; }

# Under heavy load xdotool can still lose or garble a key beyond ASCII, so
# every typed text is read back from the widget before Return and typed
# again (at most three times) when it differs: a lost key fails nothing,
# text that the window mangles fails every time.
# typed_as TEXT SCRIPT: waits up to 3 s until the Tcl SCRIPT gives TEXT.
typed_as() {
  local i
  for ((i = 0; i < 15; i++)); do
    [ "$(tk_send tavex "$2")" = "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# type_checked TEXT READ CLEAR: types TEXT into the widget with the focus;
# READ is the Tcl script that gives the widget's text, CLEAR empties it.
type_checked() {
  local attempt
  for attempt in 1 2 3; do
    xdotool type --delay 8 -- "$1"
    typed_as "$1" "$2" && return 0
    echo "typed text read back wrong (attempt $attempt): $(tk_send tavex "$2")" >&2
    tk_send tavex "$3" >/dev/null
  done
  return 1
}
type_line() {
  type_checked "$1" '::Console:Widget get outEnd end-1c' '::Console:Widget delete outEnd end-1c'
  xdotool key Return
}
start_tavex

# Typed: each é is two bytes for the interpreter.
expect "typed length" "2" "$(lisp '(length "é")')"
expect "typed string" 'données"données"' "$(lisp '(princ "données")')"
expect "typed symbol" "€uro" "$(lisp "'|€uro|")"

# Pasted: the same.
lisp '(execute "clipboard clear; clipboard append [format {(length %c%ct%c %c%c)} 34 233 233 8364 34]")' >/dev/null
before=$(prompts)
xdotool key ctrl+v Return
wait_prompts $((before + 1)) || fail "no prompt after the paste"
expect "pasted length" "9" "$(tail -n 2 "$CONSOLE" | head -1)"

# A pasted line of 1500 two-byte characters goes in pieces of at most one
# message each, cut between characters.
lisp '(execute "clipboard clear; clipboard append [format {(length %c%s%c)} 34 [string repeat [format %c 233] 1500] 34]")' >/dev/null
before=$(prompts)
xdotool key ctrl+v Return
wait_prompts $((before + 1)) || fail "no prompt after the long paste"
expect "long pasted line" "3000" "$(tail -n 2 "$CONSOLE" | head -1)"

# Output: UTF-8 where valid (\303\251), byte by byte otherwise (\351).
expect "valid and invalid UTF-8" "été
NIL" "$(lisp '(progn (princ "\351t\303\251") (terpri) nil)')"
expect "bytes that are no sequence" "Ã(é©)NIL" "$(lisp '(progn (princ "\303(\303\251\251)") nil)')"
# A sequence cut by the end of a 1024-byte output message is joined again.
expect "sequence across two messages" "$(printf 'a%.0s' $(seq 1023))é
NIL" "$(lisp '(let ((s "")) (dotimes (i 1023) (setq s (strcat s "a"))) (princ (strcat s "é")) (terpri) nil)')"
# A sequence cut short by a request for input shows its bytes at once.
before=$(prompts)
type_line '(progn (princ "<\303") (read-line))'
wait_state line || fail "no line request"
wait_console "<Ã" || fail "the held byte was not shown before the line request"
type_line 'reste é'
wait_prompts $((before + 1)) || fail "no prompt after read-line"
expect "read-line of typed text" '"reste é"' "$(tail -n 2 "$CONSOLE" | head -1)"

# Typed file names.
expect "typed load" "T" "$(lisp '(load "données/été")' | tail -1)"
expect "loaded value" "|chargé|" "$(lisp 'loaded')"

# A file name from a dialog holds its bytes in the system encoding: where
# that is not UTF-8, they go as octal escapes.
expect "file name in ISO 8859-1" '"\"\\351t\\351\""' "$(lisp '(execute "encoding system iso8859-1; set r [Lisp:String [format %ct%c 233 233]]; encoding system utf-8; set r")')"
expect "file name in UTF-8" '"\"été\""' "$(lisp '(execute "Lisp:String [format %ct%c 233 233]")')"

# The File menu: a file name typed into the dialog.
dialog() {
  # waits for the file dialog, types the name and accepts it
  local i
  for ((i = 0; i < 100; i++)); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 0.3
  tk_send tavex '[focus] delete 0 end' >/dev/null
  type_checked "$2" '[focus] get' '[focus] delete 0 end'
  xdotool key Return
}
before=$(prompts)
xdotool key ctrl+o
dialog "Load a Lisp file" "$WORK/données/menü.lsp"
wait_prompts $((before + 1)) || fail "no prompt after File > Load"
expect "menu load" '"menu ü"' "$(lisp 'by-menu')"

before=$(prompts)
xdotool key alt+f o
dialog "Open image" "$WORK/données/imagé.ima"
wait_prompts $((before + 1)) || fail "no prompt after File > Open image"
expect "menu open image" "77" "$(lisp "(rpix * '(5 5))" )"

lisp '(greyset 99)' >/dev/null
before=$(prompts)
xdotool key alt+f s
dialog "Save image" "$WORK/données/sauvé.ima"
wait_prompts $((before + 1)) || fail "no prompt after File > Save image"
expect "menu save image" "99" "$("$CLI" -xS <<<"(rpix (imaload \"données/sauvé.ima\") '(1 1))" | head -1 | tr -d '> ')"

before=$(prompts)
xdotool key alt+f t
dialog "Transcript file" "$WORK/données/journal-été.txt"
wait_prompts $((before + 1)) || fail "no prompt after File > Start transcript"
lisp '(princ "dans le journal: ü")' >/dev/null
lisp '(dribble)' >/dev/null
expect "menu transcript" "yes" "$(grep -qF '"dans le journal: ü"' "données/journal-été.txt" && echo yes)"

finish

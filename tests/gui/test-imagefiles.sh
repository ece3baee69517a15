#!/bin/bash
# The File menu's Open image... and Save image...: the module comes from the
# file's extension (the native format for .ima); the files are named in
# Tk's own file dialog with real key events, and the command the menu runs
# shows in the console.
. "$(dirname "$0")/lib.sh"
start_tavex

# menu_file ITEM-KEY TITLE NAME: opens the File menu with Alt+F, picks the
# item by its underlined key, and types NAME into the dialog titled TITLE.
menu_file() {
  local before dialog
  before=$(prompts)
  xdotool windowfocus --sync "$WID" 2>/dev/null
  xdotool key alt+f
  sleep 0.3
  xdotool key "$1"
  dialog=$(xdotool search --sync --name "^$2\$" | head -1)
  xdotool windowfocus --sync "$dialog" 2>/dev/null
  sleep 0.3
  xdotool type --delay 8 -- "$3"
  xdotool key Return
  wait_prompts $((before + 1)) || fail "no prompt after $2 $3"
}

lisp "(frames '(3 4 5 6))" >/dev/null
lisp '(greyset 77)' >/dev/null
menu_file s "Save image" out.png
expect "save command" "> (imasave * \"$WORK/out.png\" \"png\")" "$(grep -F 'imasave *' "$CONSOLE" | tail -1)"
expect "saved PNG" '((3 4 5 6) 77)' "$(lisp '(let ((i (imaload "out.png" "png"))) (list (info i) (rpix i (quote (4 5)))))')"

# The native format for .ima; a colour image through TIFF and JPEG.
lisp "(frames '(0 0 4 2))" >/dev/null
lisp '(colset #x102030)' >/dev/null
menu_file s "Save image" c.ima
expect "saved native" '(0 0 4 2)' "$(lisp '(info (imaload "c.ima"))')"
lisp '(colset #x405060)' >/dev/null
menu_file s "Save image" c.tif
lisp '(colset 0)' >/dev/null
menu_file o "Open image" c.tif
expect "open command" "> (imaload \"$WORK/c.tif\" \"tiff\")" "$(grep -F 'imaload "' "$CONSOLE" | tail -1)"
expect "opened TIFF" '4214880' "$(lisp '(rpix * (quote (3 1)))')"
menu_file o "Open image" c.ima
expect "opened native" '1056816' "$(lisp '(rpix * (quote (0 0)))')"
# Save image saves the last result: a number cannot be saved.
menu_file s "Save image" n.jpg
expect "the last result is no image" 1 "$(grep -c 'error: bad argument type - 1056816$' "$CONSOLE")"
lisp '(imaload "c.ima")' >/dev/null
menu_file s "Save image" c.jpg
expect "saved JPEG" '(0 0 4 2)' "$(lisp '(info (imaload "c.jpg" "jpeg"))')"
finish

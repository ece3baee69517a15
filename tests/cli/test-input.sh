#!/bin/bash
# Console input: long lines arrive in pieces and read correctly, an error
# drops the rest of its line only, keys are single bytes (255 at the end).
. "$(dirname "$0")/lib.sh"

# A 100 KB list on one line.
ones=$(printf '1 %.0s' $(seq 50000))
expect_run "100 KB line" "'(${ones% })
'x
" "> (${ones% })
> X
> " -xS

# A string that crosses the 1024-byte pieces.
long=$(printf 'x%.0s' $(seq 3000))
expect_run "long string" "\"$long\"
" "> \"$long\"
> " -xS

# A line of exactly 1024 bytes before its newline.
pad=$(printf ' %.0s' $(seq 1021))
expect_run "1024-byte line" "'a$pad'b
" '> A
> B
> ' -xS

# An error drops what is left of its line (here more than one piece), and
# the next line is read as usual.
junk=$(printf "(quote junk) %.0s" $(seq 400))
expect_run "error in a long line" "undefined-var-xyz $junk
'ok
" '> error: unbound variable - UNDEFINED-VAR-XYZ
> OK
> ' -xS

# An error in a short line drops the rest of that line too.
expect_run "error in a short line" "undefined-var-xyz 'dropped
'kept
" '> error: unbound variable - UNDEFINED-VAR-XYZ
> KEPT
> ' -xS

# GET-KEY takes one byte of input; at the end of input it gives 255.
expect_run "get-key" "(get-key)
A
'z
(get-key)" '> 65
> Z
> 255
> ' -xS

finish

#!/bin/bash
# Every command-line word reaches the interpreter exactly as given: file
# names holding double quotes, backslashes and blanks load the file of that
# very name, and no part of one turns into an option or another file.
. "$(dirname "$0")/lib.sh"

echo "(setq which 'plain-a)" > a.lsp
echo "(setq which 'plain-y)" > y.lsp
echo "(setq which 'quote-in-name)" > 'a"b.lsp'
echo "(setq which 'option-in-name)" > 'x" -xTt.txt "y.lsp'
echo "(setq which 'backslashes)" > 'c d\"\.lsp'
echo "(setq which 'ends-in-backslash)" > 'e f\.lsp'
echo "(setq second 'loaded)" > 'g "h".lsp'

expect_run "a quote inside a name" "which
" '> QUOTE-IN-NAME
> ' -xS 'a"b'

# Before: the quotes around the name split it into x, -xTt.txt and y, which
# opened the transcript t.txt and loaded y.lsp.
expect_run "an option inside a name" "which
" '> OPTION-IN-NAME
> ' -xS 'x" -xTt.txt "y'
[ -e t.txt ] && expect "an option inside a name: no transcript" "no t.txt" "t.txt made"

expect_run "backslashes, quotes and blanks" "which
" '> BACKSLASHES
> ' -xS 'c d\"\'
expect_run "a name ending in a backslash, and a second file" "which
second
" '> ENDS-IN-BACKSLASH
> LOADED
> ' -xS 'e f\' 'g "h".lsp'

# A missing file is named exactly in the error.
expect_run "a missing file with a quote" "" 'error: can'"'"'t load file - "no\"such"
> ' -xS 'no"such'
finish

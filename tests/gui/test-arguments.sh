#!/bin/bash
# The workstation passes every command-line word to the interpreter exactly
# as given: a file name with double quotes, blanks and backslashes loads
# that very file, and no part of it becomes an option.
. "$(dirname "$0")/lib.sh"

echo "(setq which 'quote-in-name)" > 'a"b.lsp'
echo "(setq other 'option-in-name)" > 'x" -xTt.txt "y.lsp'
echo "(setq third 'backslashes)" > 'c d\"\.lsp'
echo "(setq which 'wrong-a)" > a.lsp
start_tavex -xS 'a"b' 'x" -xTt.txt "y' 'c d\"\'
expect "loaded files" "(QUOTE-IN-NAME OPTION-IN-NAME BACKSLASHES)" "$(lisp '(list which other third)')"
[ -e t.txt ] && fail "a transcript was opened from a file name"
finish

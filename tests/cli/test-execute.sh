#!/bin/bash
# Tcl commands through EXECUTE: results, errors, backslashes.
. "$(dirname "$0")/lib.sh"

expect_run "expr" '(execute "expr {1+2}")
' '> "3"
> ' -xS

# (An abort from the front end first ends the console line, hence the
# newline after the prompt.)

expect_run "tcl error aborts with its text" '(execute "error {boom here}")
(quote after)
' '> 
error: boom here
> AFTER
> ' -xS

expect_run "unknown tcl command" '(execute "no-such-command")
' '> 
error: invalid command name "no-such-command"
> ' -xS

# The backslash reaches Tcl doubled, so Tcl sees it literally: a\b has
# three characters, not a and a backspace.
expect_run "backslash" '(execute "string length a\\b")
' '> "3"
> ' -xS

# What Tcl itself prints keeps its place among the console output.
expect_run "tcl output" '(execute "puts hello")
(quote x)
' '> hello
""
> X
> ' -xS

# Tcl state persists between commands.
expect_run "tcl variables" '(execute "set v 41")
(execute "incr v")
' '> "41"
> "42"
> ' -xS

expect_run "usage" '(execute)
' '> error: execute string
> ' -xS
finish

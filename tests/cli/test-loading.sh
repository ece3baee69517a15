#!/bin/bash
# init.lsp in the working directory and the files named on the command line
# load in order, with their "; loading" lines unless -xS is given; options
# and unknown "-" words are not taken for files.
. "$(dirname "$0")/lib.sh"

cat > init.lsp <<'LSP'
(setq from-init 'init-loaded)
LSP
cat > first.lsp <<'LSP'
(setq from-first (list from-init 'first-loaded))
LSP
mkdir -p "my dir"
cat > "my dir/second file.lsp" <<'LSP'
(setq from-second 'second-loaded)
LSP

expect_run "silent loading" 'from-first
from-second
' '> (INIT-LOADED FIRST-LOADED)
> SECOND-LOADED
> ' -xS first.lsp -q "my dir/second file.lsp"

# Verbose: the banner, then one "; loading" line per file.
run_cli 'from-second
' first -q "my dir/second file.lsp"
expect "verbose loading: status" 0 "$STATUS"
expect "verbose loading: output" '; loading "init.lsp"
; loading "first.lsp"
; loading "my dir/second file.lsp"
> SECOND-LOADED
> x' "$(tail -n +3 "$OUT"; printf x)"

# A file that cannot be loaded stops the loading of the later files.
expect_run "missing file" "(boundp 'from-second)
" 'error: can'"'"'t load file - "no-such-file"
> NIL
> ' -xS no-such-file "my dir/second file.lsp"

# LOAD from the console.
expect_run "load function" '(load "first")
from-first
(load "no-such-file")
' '> ; loading "first.lsp"
T
> (INIT-LOADED FIRST-LOADED)
> NIL
> ' -xS
finish

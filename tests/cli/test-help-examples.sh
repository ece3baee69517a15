#!/bin/bash
# Every example of the function reference runs in tavex-cli without an
# error it does not announce and gives the value it shows
# (tests/cli/help_examples.py).
here=$(cd "$(dirname "$0")" && pwd)
exec /usr/bin/python3 "$here/help_examples.py" "$1" "$here/../../src/help/functions.txt"

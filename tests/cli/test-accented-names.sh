#!/bin/bash
# File names with bytes 128-255, in UTF-8 and in ISO 8859-1, reach the file
# system unchanged through LOAD, OPEN, IMASAVE, IMALOAD, DRIBBLE, -xT and
# the command line; what such files hold comes back byte for byte.
. "$(dirname "$0")/lib.sh"

for enc in utf8 latin1; do
  if [ $enc = utf8 ]; then
    e=$'\xc3\xa9' u=$'\xc3\xbc'     # é and ü in UTF-8
  else
    e=$'\xe9' u=$'\xfc'             # the same in ISO 8859-1
  fi
  dir="donn${e}es"
  mkdir "$dir"
  printf '(setq loaded "%s")\n' "charg${e}" > "$dir/${e}t${e}.lsp"
  printf '(setq from-argv (quote |%s|))\n' "${u}ber" > "$dir/${u}ber.lsp"

  input="(load \"$dir/${e}t${e}\")
loaded
(setq f (open \"$dir/r${e}sultat.txt\" :direction :output))
(princ \"caf${e} ${u}\" f)
(close f)
(read-line (open \"$dir/r${e}sultat.txt\"))
(open \"$dir/absent${e}.txt\")
(imasave (greyset 7) \"$dir/im${e}.ima\")
(rpix (imaload \"$dir/im${e}.ima\") '(3 3))
(imaload \"$dir/absent${e}.ima\")
(dribble \"$dir/journal${u}.txt\")
(princ \"${e}${u}\")
(dribble)
from-argv
"
  run_cli "$input" -xS "-xT$dir/tout${e}.txt" "$dir/${u}ber.lsp"
  expect "$enc: status" 0 "$STATUS"
  expect "$enc: output" "> ; loading \"$dir/${e}t${e}.lsp\"
T
> \"charg${e}\"
> #<File-Stream: #0xADDR>
> \"caf${e} ${u}\"
> NIL
> \"caf${e} ${u}\"
> NIL
> T
> 7
> error: open error
> T
> ${e}${u}\"${e}${u}\"
> NIL
> ${u}ber
> " "$(sed -E 's/#0x[0-9a-f]+>/#0xADDR>/g' "$OUT")"
  expect "$enc: transcript by DRIBBLE" "T
> ${e}${u}\"${e}${u}\"
> " "$(cat "$dir/journal${u}.txt")"
  expect "$enc: transcript by -xT" "yes" "$(grep -qF "\"caf${e} ${u}\"" "$dir/tout${e}.txt" && echo yes)"
  expect "$enc: image file" "yes" "$([ -s "$dir/im${e}.ima" ] && echo yes)"
done
finish

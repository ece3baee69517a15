#!/bin/bash
# The three programs find their script one level above their own directory
# (<dir>/../src/disp/tavex.tcl, ../src/edit/edit.tcl, ../src/help/help.tcl,
# or installed <dir>/../share/tavex/disp/tavex.tcl and so on) and pass their
# arguments on to it; the Tcl commands they register answer
# as they should. Each program is copied into a tree of its own whose
# scripts only record what they see.
. "$(dirname "$0")/lib.sh"

mkdir -p opt/bin opt/src/disp opt/src/edit opt/src/help
cp "$TAVEX" opt/bin/tavex
cp "$EDIT" opt/bin/edit
cp "$HELP" opt/bin/help

# The recording script: its path, its arguments, and each probe's result
# as "name: code result".
probe_script() {
  cat <<'TCL'
wm withdraw .
set out [open $env(PROBE_OUT) w]
puts $out "script: [info script]"
puts $out "argv: $argv"
proc probe {name command} {
    set code [catch {uplevel #0 $command} result]
    puts $::out "$name: $code $result"
}
TCL
  cat
  echo 'close $out; exit 0'
}

probe_script >opt/src/disp/tavex.tcl <<'TCL'
probe init-none {GuiInit}
probe init-two {GuiInit a b}
probe oemcp {GuiGetOEMCP}
probe oemcp-arg {GuiGetOEMCP 850}
probe readline {GuiReadLine}
probe getkey {GuiGetKey}
probe getkey-text {GuiGetKey abc}
probe getmouse {GuiGetMouse 1 2}
probe execute {GuiExecute}
probe system {GuiSystem}
probe system-ok {GuiSystem true}
probe system-fails {GuiSystem "exit 3"}
probe shift {GuiShiftMouse 5}
probe shift-ok {GuiShiftMouse 7 -3}
probe dispconf {GuiDispConfigure 10}
probe lutconf {GuiLutConfigure 1 2 3}
probe dispconf-empty {GuiDispConfigure 520 400}
probe maxpaint-args {GuiMaxPaint 500}
probe maxpaint-empty {GuiMaxPaint 500 500}
probe zoom-readonly {set DispZoom 2}
probe zoom {set DispZoom}
probe x0 {list $DispX0 $DispY0 $ImaX0 $ImaY0 $ImaWidth $ImaHeight}
TCL

for program in edit help; do
  probe_script >opt/src/$program/$program.tcl <<'TCL'
probe init-none {GuiInit}
probe init-one {GuiInit "x y"}
probe init-three {GuiInit a b c}
probe oemcp {GuiGetOEMCP}
probe no-tavex-commands {info commands GuiReadLine}
TCL
done

run() {   # run PROGRAM ARGS...: runs it, prints the recorded lines
  local out=$WORK/probe.$RANDOM
  PROBE_OUT=$out timeout 60 "$@" >"$WORK/run.log" 2>&1
  local status=$?
  [ "$status" -eq 0 ] || { echo "status $status"; cat "$WORK/run.log"; }
  cat "$out" 2>/dev/null
}

root=$WORK/opt
expect "tavex" "script: $root/bin/../src/disp/tavex.tcl
argv: a.lsp -xS {my file.lsp}
init-none: 1 syntax: GuiInit arglist
init-two: 1 syntax: GuiInit arglist
oemcp: 1 function not implemented
oemcp-arg: 1 function not implemented
readline: 1 syntax: GuiReadLine str
getkey: 1 syntax: GuiGetKey char
getkey-text: 1 syntax: GuiGetKey char
getmouse: 1 syntax: GuiGetMouse button x y
execute: 1 syntax: GuiExecute str
system: 1 syntax: GuiSystem str
system-ok: 0 
system-fails: 1 can't create process
shift: 1 syntax: GuiShiftMouse dx dy
shift-ok: 0 
dispconf: 1 syntax: GuiDispConfigure w h
lutconf: 1 syntax: GuiLutConfigure w h
dispconf-empty: 0 
maxpaint-args: 1 error in GuiMaxPaint
maxpaint-empty: 1 error in GuiMaxPaint
zoom-readonly: 1 can't set \"DispZoom\": linked variable is read-only
zoom: 0 1.0
x0: 0 0 0 0 0 0 0" "$(run "$root/bin/tavex" a.lsp -xS "my file.lsp")"

for program in edit help; do
  expect "$program" "script: $root/bin/../src/$program/$program.tcl
argv: one -two
init-none: 0 
init-one: 0 
init-three: 0 
oemcp: 1 function not implemented
no-tavex-commands: 0 " "$(run "$root/bin/$program" one -two)"
done

# Started through a relative path from another directory.
cd "$root/bin"
expect "relative start" "script: $root/bin/../src/edit/edit.tcl" "$(run ./edit | head -1)"
cd "$WORK"

# Installed: the scripts are in ../share/tavex/ beside bin/.
inst=$WORK/inst
mkdir -p "$inst/bin" "$inst/share/tavex"
cp -r "$root/src/disp" "$root/src/edit" "$root/src/help" "$inst/share/tavex/"
cp "$root/bin/tavex" "$root/bin/edit" "$root/bin/help" "$inst/bin/"
for program in tavex edit help; do
  script=$program/$program.tcl
  [ $program = tavex ] && script=disp/tavex.tcl
  expect "installed $program" "script: $inst/bin/../share/tavex/$script" "$(run "$inst/bin/$program" | head -1)"
done

# A missing script is reported, not hidden.
rm "$root/src/help/help.tcl"
PROBE_OUT=/dev/null timeout 60 "$root/bin/help" >"$WORK/run.log" 2>&1
status=$?
[ "$status" -ne 0 ] || fail "help without its script ended with status 0"
grep -q "help.tcl" "$WORK/run.log" || { fail "no message naming the missing script"; cat "$WORK/run.log"; }
finish

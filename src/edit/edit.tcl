# edit.tcl: a small editor for Lisp files, started by the program `edit`
# (from the workstation's File menu or by hand: edit [file]).
#
# Open, save, save as; undo and redo; find and replace; go to line; the
# parenthesis that matches the one at the cursor is highlighted and the
# text is coloured as Lisp; closing a file with unsaved changes asks
# first. Files are read and written as bytes (ISO 8859-1) with newline line
# ends, as the interpreter reads them. "Load into Tavex" hands the file or
# the selection to the running workstation through Tk's send; F1 opens the
# function reference on the name at the cursor.

wm withdraw .
tk appname tavex-edit
set ScriptDir [file dirname [file normalize [info script]]]
source [file join $ScriptDir lisptext.tcl]
source [file join $ScriptDir .. help helplink.tcl]
Lisp:LoadNames [file join $ScriptDir .. help functions.txt]

array set Edit {
    file {}
    findText {}
    replaceText {}
    matchCase 0
    gotoLine {}
    matchLimit 200000
    message {}
    messageAt {}
}

set Edit(types) {{{Lisp files} {.lsp}} {{Tcl files} {.tcl}} {{All files} *}}

toplevel .tMain
wm protocol .tMain WM_DELETE_WINDOW Edit:Exit
option add *Menu.tearOff 0

# ---------------------------------------------------------------- widgets

menu .tMain.mBar
.tMain configure -menu .tMain.mBar
menu .tMain.mBar.mFile
.tMain.mBar add cascade -label File -underline 0 -menu .tMain.mBar.mFile
.tMain.mBar.mFile add command -label New -underline 0 -accelerator Ctrl+N -command Edit:New
.tMain.mBar.mFile add command -label Open... -underline 0 -accelerator Ctrl+O \
    -command Edit:Open
.tMain.mBar.mFile add command -label Save -underline 0 -accelerator Ctrl+S -command Edit:Save
.tMain.mBar.mFile add command -label "Save as..." -underline 5 -accelerator Ctrl+Shift+S \
    -command Edit:SaveAs
.tMain.mBar.mFile add separator
.tMain.mBar.mFile add command -label "Load into Tavex" -underline 0 -accelerator Ctrl+R \
    -command Edit:LoadIntoTavex
.tMain.mBar.mFile add command -label "Function reference" -underline 0 -accelerator F1 \
    -command Edit:Help
.tMain.mBar.mFile add separator
.tMain.mBar.mFile add command -label Exit -underline 1 -accelerator Ctrl+Q -command Edit:Exit

menu .tMain.mBar.mEdit
.tMain.mBar add cascade -label Edit -underline 0 -menu .tMain.mBar.mEdit
.tMain.mBar.mEdit add command -label Undo -underline 0 -accelerator Ctrl+Z -command Edit:Undo
.tMain.mBar.mEdit add command -label Redo -underline 0 -accelerator Ctrl+Y -command Edit:Redo
.tMain.mBar.mEdit add separator
.tMain.mBar.mEdit add command -label Cut -underline 2 -accelerator Ctrl+X \
    -command {tk_textCut .tMain.fText.tText}
.tMain.mBar.mEdit add command -label Copy -underline 0 -accelerator Ctrl+C \
    -command {tk_textCopy .tMain.fText.tText}
.tMain.mBar.mEdit add command -label Paste -underline 0 -accelerator Ctrl+V \
    -command {tk_textPaste .tMain.fText.tText}
.tMain.mBar.mEdit add command -label "Select all" -underline 7 -accelerator Ctrl+A \
    -command {.tMain.fText.tText tag add sel 1.0 end-1c}
.tMain.mBar.mEdit add separator
.tMain.mBar.mEdit add command -label Find... -underline 0 -accelerator Ctrl+F \
    -command {Edit:FindDialog 0}
.tMain.mBar.mEdit add command -label "Find next" -underline 5 -accelerator F3 \
    -command Edit:FindNext
.tMain.mBar.mEdit add command -label Replace... -underline 0 -accelerator Ctrl+H \
    -command {Edit:FindDialog 1}
.tMain.mBar.mEdit add command -label "Go to line..." -underline 0 -accelerator Ctrl+G \
    -command Edit:GotoDialog

frame .tMain.fText
text .tMain.fText.tText -width 90 -height 36 -wrap none -undo 1 -autoseparators 1 \
    -maxundo 0 -font TkFixedFont -bg white \
    -xscrollcommand {.tMain.fText.sX set} -yscrollcommand Edit:Scrolled
scrollbar .tMain.fText.sY -orient vertical -command {.tMain.fText.tText yview}
scrollbar .tMain.fText.sX -orient horizontal -command {.tMain.fText.tText xview}
grid .tMain.fText.tText .tMain.fText.sY -sticky nsew
grid .tMain.fText.sX -sticky ew
grid rowconfigure .tMain.fText 0 -weight 1
grid columnconfigure .tMain.fText 0 -weight 1
.tMain.fText.tText tag configure match -background #ffe080
.tMain.fText.tText tag configure nomatch -background #ffb0b0
.tMain.fText.tText tag configure found -background #b0d0ff
Lisp:ColourTags .tMain.fText.tText

label .tMain.lStatus -anchor w -bd 1 -relief sunken
pack .tMain.lStatus -side bottom -fill x
pack .tMain.fText -side top -fill both -expand 1

set T .tMain.fText.tText

# Every change of the text, whoever makes it (typing, paste, undo, replace,
# loading), has the visible part coloured again when the editor is idle.
rename $T ::Edit:Widget
proc $T {args} {
    set result [uplevel 1 [list ::Edit:Widget {*}$args]]
    if {[lindex $args 0] in {insert delete replace} ||
        ([lindex $args 0] eq "edit" && [lindex $args 1] in {undo redo})} {
        Edit:ColourLater
    }
    return $result
}

# ---------------------------------------------------------------- title, status

proc Edit:Title {} {
    global Edit
    set name [expr {$Edit(file) eq "" ? "untitled" : [file tail $Edit(file)]}]
    set mark [expr {[.tMain.fText.tText edit modified] ? "*" : ""}]
    wm title .tMain "$mark$name - Tavex editor"
}

proc Edit:Status {} {
    global Edit
    if {$Edit(message) ne ""} {
        if {[.tMain.fText.tText index insert] eq $Edit(messageAt)} return
        set Edit(message) {}
    }
    lassign [split [.tMain.fText.tText index insert] .] line column
    set text "line $line, column [expr {$column + 1}]"
    if {$Edit(file) ne ""} {append text "    $Edit(file)"}
    .tMain.lStatus configure -text $text
}

# ---------------------------------------------------------------- files

# Asks before unsaved changes are lost: true when it is all right to go on.
proc Edit:Confirm {} {
    global Edit
    if {![.tMain.fText.tText edit modified]} {return 1}
    set name [expr {$Edit(file) eq "" ? "untitled" : [file tail $Edit(file)]}]
    set answer [tk_messageBox -parent .tMain -icon warning -type yesnocancel \
                    -title "Unsaved changes" -message "Save the changes to $name?"]
    switch -- $answer {
        yes {return [Edit:Save]}
        no {return 1}
        default {return 0}
    }
}

proc Edit:Load {file} {
    global Edit
    set t .tMain.fText.tText
    set text ""
    if {[file exists $file]} {
        if {[catch {
            set f [open $file r]
            fconfigure $f -encoding iso8859-1 -translation auto
            set text [read $f]
            close $f
        } message]} {
            tk_messageBox -parent .tMain -icon error -title "Open" -message $message
            return 0
        }
    }
    $t delete 1.0 end
    $t insert 1.0 $text
    $t edit reset
    $t edit modified 0
    $t mark set insert 1.0
    $t see insert
    set Edit(file) [file normalize $file]
    Edit:Title
    Edit:Status
    return 1
}

proc Edit:Write {file} {
    set t .tMain.fText.tText
    if {[catch {
        set f [open $file w]
        fconfigure $f -encoding iso8859-1 -translation lf
        puts -nonewline $f [$t get 1.0 end-1c]
        close $f
    } message]} {
        tk_messageBox -parent .tMain -icon error -title "Save" -message $message
        return 0
    }
    $t edit modified 0
    $t edit separator
    Edit:Title
    return 1
}

proc Edit:New {} {
    global Edit
    if {![Edit:Confirm]} return
    set t .tMain.fText.tText
    $t delete 1.0 end
    $t edit reset
    $t edit modified 0
    set Edit(file) {}
    Edit:Title
    Edit:Status
}

proc Edit:Open {} {
    global Edit
    if {![Edit:Confirm]} return
    set file [tk_getOpenFile -parent .tMain -filetypes $Edit(types)]
    if {$file ne ""} {Edit:Load $file}
}

proc Edit:Save {} {
    global Edit
    if {$Edit(file) eq ""} {return [Edit:SaveAs]}
    return [Edit:Write $Edit(file)]
}

proc Edit:SaveAs {} {
    global Edit
    set file [tk_getSaveFile -parent .tMain -filetypes $Edit(types) \
                  -defaultextension .lsp]
    if {$file eq ""} {return 0}
    if {![Edit:Write $file]} {return 0}
    set Edit(file) [file normalize $file]
    Edit:Title
    Edit:Status
    return 1
}

proc Edit:Exit {} {
    if {[Edit:Confirm]} {exit 0}
}

# ---------------------------------------------------------------- undo

proc Edit:Undo {} {
    catch {.tMain.fText.tText edit undo}
    Edit:AfterMove
}

proc Edit:Redo {} {
    catch {.tMain.fText.tText edit redo}
    Edit:AfterMove
}

# ---------------------------------------------------------------- find, replace

proc Edit:FindDialog {withReplace} {
    global Edit
    set d .tFind
    if {![winfo exists $d]} {
        toplevel $d
        wm transient $d .tMain
        wm protocol $d WM_DELETE_WINDOW {wm withdraw .tFind}
        label $d.lFind -text Find: -anchor e
        entry $d.eFind -textvariable Edit(findText) -width 36
        label $d.lReplace -text "Replace with:" -anchor e
        entry $d.eReplace -textvariable Edit(replaceText) -width 36
        checkbutton $d.cCase -text "Match case" -variable Edit(matchCase)
        frame $d.fButtons
        button $d.fButtons.bNext -text "Find next" -default active -command Edit:FindNext
        button $d.fButtons.bReplace -text Replace -command Edit:ReplaceOne
        button $d.fButtons.bAll -text "Replace all" -command Edit:ReplaceAll
        button $d.fButtons.bClose -text Close -command {wm withdraw .tFind}
        pack $d.fButtons.bNext $d.fButtons.bReplace $d.fButtons.bAll $d.fButtons.bClose \
            -side left -padx 3
        grid $d.lFind $d.eFind -sticky ew -padx 4 -pady 3
        grid $d.lReplace $d.eReplace -sticky ew -padx 4 -pady 3
        grid x $d.cCase -sticky w
        grid $d.fButtons -columnspan 2 -pady 6
        bind $d <Return> Edit:FindNext
        bind $d <Escape> {wm withdraw .tFind}
    }
    wm title $d [expr {$withReplace ? "Replace" : "Find"}]
    wm deiconify $d
    raise $d
    set t .tMain.fText.tText
    if {![catch {$t get sel.first sel.last} selected] && [string first \n $selected] < 0} {
        set Edit(findText) $selected
    }
    focus $d.eFind
    $d.eFind selection range 0 end
}

# Finds the next occurrence after the cursor, wrapping at the end of the
# file; selects it and returns 1, or returns 0 when there is none.
proc Edit:FindNext {} {
    global Edit
    set t .tMain.fText.tText
    if {$Edit(findText) eq ""} {return 0}
    set options [list -forward -count length]
    if {!$Edit(matchCase)} {lappend options -nocase}
    set at [$t search {*}$options -- $Edit(findText) "insert + 1 chars" end]
    if {$at eq ""} {
        set at [$t search {*}$options -- $Edit(findText) 1.0 end]
    }
    $t tag remove sel 1.0 end
    if {$at eq ""} {
        bell
        .tMain.lStatus configure -text "not found: $Edit(findText)"
        return 0
    }
    $t tag add sel $at "$at + $length chars"
    $t mark set insert $at
    $t see $at
    Edit:AfterMove
    return 1
}

# Replaces the selected occurrence (if the selection is one), then finds
# the next.
proc Edit:ReplaceOne {} {
    global Edit
    set t .tMain.fText.tText
    if {![catch {$t get sel.first sel.last} selected]} {
        set same [expr {$Edit(matchCase) ? $selected eq $Edit(findText)
                        : [string equal -nocase $selected $Edit(findText)]}]
        if {$same} {
            set at [$t index sel.first]
            $t delete sel.first sel.last
            $t insert $at $Edit(replaceText)
            $t mark set insert "$at + [string length $Edit(replaceText)] chars - 1 chars"
        }
    }
    Edit:FindNext
}

proc Edit:ReplaceAll {} {
    global Edit
    set t .tMain.fText.tText
    if {$Edit(findText) eq ""} return
    set options [list -forward -count length]
    if {!$Edit(matchCase)} {lappend options -nocase}
    set count 0
    set from 1.0
    $t edit separator
    while {[set at [$t search {*}$options -- $Edit(findText) $from end]] ne ""} {
        $t delete $at "$at + $length chars"
        $t insert $at $Edit(replaceText)
        set from [$t index "$at + [string length $Edit(replaceText)] chars"]
        incr count
    }
    $t edit separator
    .tMain.lStatus configure -text "$count replaced"
}

# ---------------------------------------------------------------- go to line

proc Edit:GotoDialog {} {
    global Edit
    set d .tGoto
    if {![winfo exists $d]} {
        toplevel $d
        wm title $d "Go to line"
        wm transient $d .tMain
        label $d.lLine -text "Line:"
        entry $d.eLine -textvariable Edit(gotoLine) -width 10
        button $d.bGo -text Go -default active -command Edit:Goto
        pack $d.lLine $d.eLine $d.bGo -side left -padx 4 -pady 6
        bind $d <Return> Edit:Goto
        bind $d <Escape> {destroy .tGoto}
    }
    focus $d.eLine
    $d.eLine selection range 0 end
}

proc Edit:Goto {} {
    global Edit
    if {![string is integer -strict $Edit(gotoLine)] || $Edit(gotoLine) < 1} {
        bell
        return
    }
    set t .tMain.fText.tText
    $t mark set insert $Edit(gotoLine).0
    $t see insert
    destroy .tGoto
    focus $t
    Edit:AfterMove
}

# ---------------------------------------------------------------- parentheses

# Highlights the parenthesis pair at the cursor.
proc Edit:Match {} {
    global Edit
    Lisp:ShowMatch .tMain.fText.tText 1.0 $Edit(matchLimit)
}

# ---------------------------------------------------------------- colouring

proc Edit:ColourLater {} {
    after cancel Edit:Colour
    after idle Edit:Colour
}

# Colours the lines in view, from the start of the form the first of them
# belongs to (the last line above that begins with "(") to the end of the
# form the last one belongs to, at most 500 lines beyond the view each way:
# the cost of a key stays bounded in a file of any length.
proc Edit:Colour {} {
    set t .tMain.fText.tText
    set top [$t index @0,0]
    set bottom [$t index "@0,[winfo height $t] lineend"]
    set from [$t search -backward -regexp {^\(} "$top lineend" 1.0]
    if {$from eq "" || [$t count -lines $from $top] > 500} {
        set from [$t index "$top linestart"]
    }
    set to [$t search -forward -regexp {^\(} "$bottom + 1 lines linestart" end]
    if {$to eq "" || [$t count -lines $bottom $to] > 500} {
        set to [$t index "$bottom + 500 lines lineend"]
    }
    Lisp:Colour $t $from $to
}

# The scroll bar follows the view, and the lines that come into view are
# coloured.
proc Edit:Scrolled {args} {
    .tMain.fText.sY set {*}$args
    Edit:ColourLater
}

# ---------------------------------------------------------------- workstation

# The application name of the workstation to talk to: the one that started
# this editor (TAVEX_APP), else the only one running on this display.
proc Edit:Workstation {} {
    global env
    set apps [winfo interps]
    if {[info exists env(TAVEX_APP)] && $env(TAVEX_APP) in $apps} {
        return $env(TAVEX_APP)
    }
    set found [lsearch -all -inline -regexp $apps {^tavex( #[0-9]+)?$}]
    switch -- [llength $found] {
        0 {error "no Tavex workstation runs on this display"}
        1 {return [lindex $found 0]}
        default {error "several Tavex workstations run; start the editor from the one to use"}
    }
}

# Ctrl+R: the selection, if there is one, is evaluated in the workstation
# as if typed at its prompt; otherwise the file is saved (when it has
# changes or no name yet) and loaded there. The workstation runs it when
# it is back at its prompt: it never breaks off an evaluation.
proc Edit:LoadIntoTavex {} {
    global Edit
    set t .tMain.fText.tText
    if {[catch {Edit:Workstation} app]} {
        Edit:Say "Load into Tavex: $app"
        return
    }
    if {![catch {$t get sel.first sel.last} text] && [string trim $text] ne ""} {
        set command [list Remote:Eval $text]
        set what "selection"
    } else {
        if {($Edit(file) eq "" || [$t edit modified]) && ![Edit:Save]} return
        set command [list Remote:Load $Edit(file)]
        set what [file tail $Edit(file)]
    }
    if {[catch {send -- $app $command} result]} {
        Edit:Say "Load into Tavex: $result"
    } else {
        Edit:Say "$what: $result"
    }
}

# A message in the status line, until the cursor next moves.
proc Edit:Say {text} {
    global Edit
    set Edit(message) $text
    set Edit(messageAt) [.tMain.fText.tText index insert]
    .tMain.lStatus configure -text $text
}

# F1: the function reference on the name at the cursor (its overview when
# there is none).
proc Edit:Help {} {
    HelpLink:Show [Lisp:NameAtCursor .tMain.fText.tText] Edit:StartHelp
}

proc Edit:StartHelp {args} {
    # Installed, the viewer beside the editor is named tavex-help.
    set dir [file dirname [info nameofexecutable]]
    set help [file join $dir tavex-help]
    if {![file executable $help]} {
        set help [file join $dir help]
    }
    if {[catch {exec $help {*}$args </dev/null >/dev/null 2>/dev/null &} message]} {
        Edit:Say "Cannot start the function reference: $message"
    }
}

proc Edit:AfterMove {} {
    Edit:Match
    Edit:Status
}

# ---------------------------------------------------------------- keys

# Return keeps the indentation of the line.
proc Edit:NewLine {} {
    set t .tMain.fText.tText
    regexp {^[ \t]*} [$t get "insert linestart" "insert lineend"] indent
    catch {$t delete sel.first sel.last}
    $t insert insert "\n$indent"
    $t see insert
}

bind $T <<Modified>> Edit:Title
bind $T <KeyRelease> {after idle Edit:AfterMove}
bind $T <ButtonRelease> {after idle Edit:AfterMove}
bind $T <Return> {Edit:NewLine; after idle Edit:AfterMove; break}
bind $T <Tab> {%W insert insert "  "; break}
bind $T <Control-a> {%W tag add sel 1.0 end-1c; break}
bind $T <Control-z> {Edit:Undo; break}
bind $T <Control-y> {Edit:Redo; break}
bind $T <Control-Z> {Edit:Redo; break}
bind $T <Control-h> {Edit:FindDialog 1; break}
bind $T <Control-o> {Edit:Open; break}
bind $T <Control-g> {Edit:GotoDialog; break}
bind $T <Control-r> {Edit:LoadIntoTavex; break}
bind $T <F1> {Edit:Help; break}
foreach {key command} {
    <Control-n> Edit:New <Control-o> Edit:Open <Control-s> Edit:Save
    <Control-S> Edit:SaveAs <Control-q> Edit:Exit <Control-f> {Edit:FindDialog 0}
    <F3> Edit:FindNext <Control-g> Edit:GotoDialog <Control-h> {Edit:FindDialog 1}
    <Control-r> Edit:LoadIntoTavex <F1> Edit:Help
} {
    bind .tMain $key "$command; break"
}

# ---------------------------------------------------------------- start

GuiInit
if {[llength $argv] > 0} {
    Edit:Load [lindex $argv 0]
} else {
    Edit:Title
    Edit:Status
}
focus $T

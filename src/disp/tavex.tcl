# tavex.tcl: the windows of the Tavex workstation.
#
# The main window .tMain holds the Lisp console, the display canvas with its
# lookup-table strip, and a line of information (frames, zoom, position).
# The program's C side calls the procedures Text:WriteChar, Text:WriteText,
# Text:ReadLine, Text:GetKey, Display:GetMouse and Menu:Exit, paints the
# photos iDisplay, iLut and iMaximized, and keeps the variables DispX0,
# DispY0, DispZoom, ImaX0, ImaY0, ImaWidth and ImaHeight up to date. This
# script answers the interpreter with GuiReadLine, GuiGetKey and
# GuiGetMouse and sends the user's own requests with GuiBreak, GuiContinue
# and GuiTopLevel. The menus' commands go to the interpreter as typed forms,
# at its prompt (never with GuiExecute, which would break off its work).

wm withdraw .
source [file join [file dirname [info script]] .. edit lisptext.tcl]
source [file join [file dirname [info script]] .. help helplink.tcl]

# ---------------------------------------------------------------- state

array set Console {
    out {}
    flushId {}
    atLineStart 1
    pending {}
    commands {}
    partial {}
    midLine 0
    readWaiting 0
    keyWaiting 0
    history {}
    histPos 0
    histSaved {}
    histMax 500
    histMaxChars 20000
    histFile {}
    histNote {}
    maxLines 20000
    busy 0
}
# The display: waiting is 1 while the interpreter waits for a click;
# picking names what it picks (point, line, rect) from its first request
# until the last click; queue holds clicks made between two requests;
# press is the image point where a drag began; pan the last canvas
# position of a drag that moves the view; pointer the last canvas
# position of the pointer; mark the point GET-POINT picked last.
array set Display {
    waiting 0
    picking {}
    queue {}
    press {}
    pointer {}
    mark {}
    pan {}
}
# One reply message carries at most this many bytes of an input line (the
# line goes to the interpreter in UTF-8, see GuiReadLine).
set Console(pieceSize) 1024

set ProgramDir [file dirname [info nameofexecutable]]

# ---------------------------------------------------------------- main window

toplevel .tMain
wm title .tMain "Tavex"
wm protocol .tMain WM_DELETE_WINDOW Menu:Exit
bind .tMain <Destroy> {if {"%W" eq ".tMain"} Menu:Exit}

option add *Menu.tearOff 0

menu .tMain.mBar
.tMain configure -menu .tMain.mBar

menu .tMain.mBar.mFile
.tMain.mBar add cascade -label File -underline 0 -menu .tMain.mBar.mFile
.tMain.mBar.mFile add command -label "Load Lisp file..." -underline 0 \
    -accelerator Ctrl+O -command Menu:Load
.tMain.mBar.mFile add command -label "Start transcript..." -underline 6 \
    -command Menu:TranscriptStart
.tMain.mBar.mFile add command -label "Stop transcript" -underline 3 \
    -command Menu:TranscriptStop
.tMain.mBar.mFile add separator
.tMain.mBar.mFile add command -label "Open image..." -underline 0 \
    -command Menu:OpenImage
.tMain.mBar.mFile add command -label "Save image..." -underline 0 \
    -command Menu:SaveImage
.tMain.mBar.mFile add separator
.tMain.mBar.mFile add command -label "Edit file..." -underline 0 \
    -accelerator Ctrl+E -command Menu:Edit
.tMain.mBar.mFile add command -label "Function reference" -underline 0 \
    -accelerator F1 -command Menu:Help
.tMain.mBar.mFile add separator
.tMain.mBar.mFile add command -label Exit -underline 1 -accelerator Ctrl+Q \
    -command Menu:Exit

menu .tMain.mBar.mEdit
.tMain.mBar add cascade -label Edit -underline 0 -menu .tMain.mBar.mEdit
.tMain.mBar.mEdit add command -label Copy -underline 0 -accelerator Ctrl+Shift+C \
    -command {tk_textCopy .tMain.fConsole.tText}
.tMain.mBar.mEdit add command -label Paste -underline 0 -accelerator Ctrl+V \
    -command {tk_textPaste .tMain.fConsole.tText}
.tMain.mBar.mEdit add command -label "Select all" -underline 7 \
    -command {.tMain.fConsole.tText tag add sel 1.0 end-1c}
.tMain.mBar.mEdit add separator
.tMain.mBar.mEdit add command -label "Clear console" -underline 1 -accelerator Ctrl+L \
    -command Console:Clear

menu .tMain.mBar.mControl
.tMain.mBar add cascade -label Control -underline 0 -menu .tMain.mBar.mControl
.tMain.mBar.mControl add command -label Break -underline 0 -accelerator Ctrl+C \
    -command Control:Break
.tMain.mBar.mControl add command -label Continue -underline 0 -accelerator Ctrl+G \
    -command Control:Continue
.tMain.mBar.mControl add command -label "Top level" -underline 0 -accelerator Ctrl+T \
    -command Control:TopLevel

menu .tMain.mBar.mView
.tMain.mBar add cascade -label View -underline 0 -menu .tMain.mBar.mView
.tMain.mBar.mView add radiobutton -label "Fit to window" -underline 0 -accelerator Ctrl+0 \
    -variable View(zoom) -value fit -command {View:Zoom fit}
foreach {label value key} {"1:1 (actual pixels)" 1/1 1 "2x" 2/1 2 "4x" 4/1 4 "8x" 8/1 8} {
    .tMain.mBar.mView add radiobutton -label $label -accelerator Ctrl+$key \
        -variable View(zoom) -value $value -command [list View:Zoom $value]
}
.tMain.mBar.mView add command -label "Zoom in" -underline 5 -accelerator Ctrl++ \
    -command {View:Step 1}
.tMain.mBar.mView add command -label "Zoom out" -underline 5 -accelerator Ctrl+- \
    -command {View:Step -1}
.tMain.mBar.mView add separator
.tMain.mBar.mView add command -label "Enlarged view" -underline 0 -accelerator F2 \
    -command View:Enlarged

menu .tMain.mBar.mHelp
.tMain.mBar add cascade -label Help -underline 0 -menu .tMain.mBar.mHelp
.tMain.mBar.mHelp add command -label "Function reference" -underline 0 -command Menu:Help
.tMain.mBar.mHelp add command -label "Console keys" -underline 0 -command Menu:Keys
.tMain.mBar.mHelp add command -label "About Tavex" -underline 0 -command Menu:About

# Tool bar
frame .tMain.fTools -bd 1 -relief raised
button .tMain.fTools.bBreak -text Break -command Control:Break -fg #a00000
button .tMain.fTools.bContinue -text Continue -command Control:Continue
button .tMain.fTools.bTop -text "Top level" -command Control:TopLevel
frame .tMain.fTools.fGap1 -width 12
button .tMain.fTools.bLoad -text Load... -command Menu:Load
button .tMain.fTools.bEdit -text Edit... -command Menu:Edit
button .tMain.fTools.bHelp -text Help -command Menu:Help
frame .tMain.fTools.fGap2 -width 12
button .tMain.fTools.bEnlarge -text Enlarge -command View:Enlarged
pack .tMain.fTools.bBreak .tMain.fTools.bContinue .tMain.fTools.bTop \
    .tMain.fTools.fGap1 .tMain.fTools.bLoad .tMain.fTools.bEdit .tMain.fTools.bHelp \
    .tMain.fTools.fGap2 .tMain.fTools.bEnlarge -side left -padx 2 -pady 2

# Console
frame .tMain.fConsole
text .tMain.fConsole.tText -width 80 -height 20 -wrap char -undo 0 \
    -font TkFixedFont -yscrollcommand {.tMain.fConsole.sY set} -bg white
scrollbar .tMain.fConsole.sY -orient vertical -command {.tMain.fConsole.tText yview}
pack .tMain.fConsole.sY -side right -fill y
pack .tMain.fConsole.tText -side left -fill both -expand 1
.tMain.fConsole.tText tag configure input -foreground #00308f
.tMain.fConsole.tText tag configure error -foreground #b00000
.tMain.fConsole.tText tag configure continuation -foreground #808080
.tMain.fConsole.tText tag configure match -background #ffe080
.tMain.fConsole.tText tag configure nomatch -background #ffb0b0

# Display and lookup-table strip
canvas .tMain.cDisplay -width 520 -height 400 -bg #303030 -highlightthickness 0 -bd 0
canvas .tMain.cLut -width 24 -height 400 -bg #303030 -highlightthickness 0 -bd 0
image create photo iDisplay
image create photo iLut
image create photo iMaximized
.tMain.cDisplay create image 0 0 -image iDisplay -anchor nw
.tMain.cLut create image 3 3 -image iLut -anchor nw
bind .tMain.cDisplay <Configure> {GuiDispConfigure %w %h; View:Changed}
scrollbar .tMain.sDispX -orient horizontal -command {View:Scroll x}
scrollbar .tMain.sDispY -orient vertical -command {View:Scroll y}
bind .tMain.cLut <Configure> {GuiLutConfigure %w %h}
bind .tMain.cDisplay <ButtonPress> {Display:Press %b %s %x %y}
bind .tMain.cDisplay <Button-4> {View:Wheel -1 %s %x %y}
bind .tMain.cDisplay <Button-5> {View:Wheel 1 %s %x %y}
bind .tMain.cDisplay <B1-Motion> {Display:Track %x %y; Display:Drag %x %y}
bind .tMain.cDisplay <ButtonRelease-1> {Display:Release %x %y}
bind .tMain.cDisplay <Motion> {Display:Track %x %y}
bind .tMain.cDisplay <Leave> {
    set Display(pointer) {}
    .tMain.fInfo.lPos configure -text {}
}

# Information line
frame .tMain.fInfo -bd 1 -relief sunken
label .tMain.fInfo.lIFrameTitle -text "image frame:"
label .tMain.fInfo.lIFrame -text "" -fg #b00000 -width 18 -anchor w
label .tMain.fInfo.lMFrameTitle -text "measure frame:"
label .tMain.fInfo.lMFrame -text "" -fg #0000b0 -width 18 -anchor w
label .tMain.fInfo.lZoomTitle -text "zoom:"
label .tMain.fInfo.lZoom -text "" -width 7 -anchor w
label .tMain.fInfo.lPos -text "" -width 36 -anchor w
# The status line below: what the interpreter waits for, and during
# picking which button does what.
label .tMain.fInfo.lStatus -text "starting" -anchor w
grid .tMain.fInfo.lIFrameTitle .tMain.fInfo.lIFrame .tMain.fInfo.lMFrameTitle \
    .tMain.fInfo.lMFrame .tMain.fInfo.lZoomTitle .tMain.fInfo.lZoom .tMain.fInfo.lPos \
    -sticky w
grid .tMain.fInfo.lStatus -row 1 -column 0 -columnspan 7 -sticky w -padx 4

grid .tMain.fTools -row 0 -column 0 -columnspan 4 -sticky ew
grid .tMain.fConsole -row 1 -column 0 -rowspan 2 -sticky nsew
grid .tMain.cDisplay -row 1 -column 1 -sticky nsew
grid .tMain.sDispY -row 1 -column 2 -sticky ns
grid .tMain.sDispX -row 2 -column 1 -sticky ew
grid .tMain.cLut -row 1 -column 3 -sticky ns
grid .tMain.fInfo -row 3 -column 0 -columnspan 4 -sticky ew
grid rowconfigure .tMain 1 -weight 1
grid columnconfigure .tMain 0 -weight 1
grid columnconfigure .tMain 1 -weight 1

# ---------------------------------------------------------------- status

# Test hook: with TAVEX_CONSOLE_DUMP set, the status line also goes to
# that name with ".status" added.
proc Status {text} {
    global env
    .tMain.fInfo.lStatus configure -text $text
    if {[info exists env(TAVEX_CONSOLE_DUMP)]} {
        Console:WriteFile $env(TAVEX_CONSOLE_DUMP).status $text
    }
}

# ---------------------------------------------------------------- console
#
# The text widget is split by the mark outEnd: before it everything the
# interpreter printed and the lines already entered, after it the line the
# user is editing. The widget command is wrapped so that no key binding,
# paste or cut can change the text before outEnd; the script's own output
# goes through the unwrapped command Console:Widget.

set T .tMain.fConsole.tText
$T mark set outEnd 1.0
$T mark gravity outEnd left
rename $T ::Console:Widget
proc $T {args} {Console:Guard {*}$args}

proc Console:Guard {args} {
    set w ::Console:Widget
    switch -- [lindex $args 0] {
        insert {
            # Typing or pasting into the output goes to the input line.
            if {[$w compare [lindex $args 1] < outEnd]} {
                $w mark set insert end
                lset args 1 end
            }
        }
        delete - replace {
            set from [$w index [lindex $args 1]]
            if {[llength $args] > 2 && [lindex $args 0] eq "delete"} {
                set to [$w index [lindex $args 2]]
            } elseif {[lindex $args 0] eq "replace"} {
                set to [$w index [lindex $args 2]]
            } else {
                set to [$w index "$from + 1 chars"]
            }
            if {[llength $args] > 3 && [lindex $args 0] eq "delete"} {
                if {[$w compare $from < outEnd]} return
            } else {
                if {[$w compare $to <= outEnd] && [$w compare $from < outEnd]} return
                if {[$w compare $from < outEnd]} {
                    lset args 1 outEnd
                }
            }
        }
    }
    uplevel 1 [list $w {*}$args]
}

# Appends one character of the interpreter's output. Characters are
# collected and written into the widget in batches: a widget update per
# character would make long outputs crawl. Carriage return starts a new
# line unless the output is at the start of one already.
proc Text:WriteChar {c} {
    global Console
    if {$c eq "\r"} {
        if {$Console(atLineStart)} return
        set c \n
    }
    append Console(out) $c
    set Console(atLineStart) [expr {$c eq "\n"}]
    if {$Console(flushId) eq ""} {
        set Console(flushId) [after 30 Console:Flush]
    }
}

# Appends a run of the interpreter's output, as Text:WriteChar would one
# character after the other.
proc Text:WriteText {s} {
    global Console
    if {[string first \r $s] >= 0} {
        foreach c [split $s ""] {Text:WriteChar $c}
        return
    }
    if {$s eq ""} return
    append Console(out) $s
    set Console(atLineStart) [expr {[string index $s end] eq "\n"}]
    if {$Console(flushId) eq ""} {
        set Console(flushId) [after 30 Console:Flush]
    }
}

# Writes the collected output into the widget, before the input line.
proc Console:Flush {} {
    global Console
    if {$Console(flushId) ne ""} {
        after cancel $Console(flushId)
        set Console(flushId) {}
    }
    if {$Console(out) eq ""} return
    set w ::Console:Widget
    set start [$w index "outEnd linestart"]
    # Follow the output only while the end is in view: a user who scrolled
    # back to read stays where he is.
    set follow [expr {[lindex [$w yview] 1] >= 1.0}]
    $w mark gravity outEnd right
    $w insert outEnd $Console(out) output
    $w mark gravity outEnd left
    set Console(out) {}
    foreach i [$w search -all -regexp {^error: } $start outEnd] {
        $w tag add error $i "$i lineend"
    }
    set lines [lindex [split [$w index end] .] 0]
    if {$lines > $Console(maxLines)} {
        $w delete 1.0 "end - $Console(maxLines) lines linestart"
    }
    if {$follow} {$w see end}
    update idletasks
    Console:Dump
}

# The interpreter waits for a line: send the next typed one, if any.
proc Text:ReadLine {} {
    global Console
    Console:Flush
    set Console(readWaiting) 1
    Console:SetBusy 0
    Console:Send
}

# Whether the interpreter waits at its prompt ("> ", or "1> " and so on in
# a break loop) for a new form, rather than for input a running program
# reads. The typed forms go out whole (see Console:Enter), so at a prompt
# the reader holds no unfinished form.
proc Console:AtPrompt {} {
    global Console
    if {!$Console(readWaiting) || [llength $Console(pending)] > 0} {return 0}
    set before [::Console:Widget get "outEnd linestart" outEnd]
    return [regexp {^[0-9]*> $} $before]
}

# Sends the next piece of typed input when the interpreter waits for one.
# A piece is at most one message long; a longer line goes in several pieces,
# the newline with the last one. The menus' commands go only to a prompt,
# after what was typed before them.
proc Console:Send {} {
    global Console
    if {[llength $Console(pending)] == 0 && [llength $Console(commands)] > 0
        && [Console:AtPrompt] && $Console(partial) eq ""} {
        set text [lindex $Console(commands) 0]
        set Console(commands) [lrange $Console(commands) 1 end]
        Console:Echo $text
        Console:Remember $text
        foreach line [split $text \n] {
            lappend Console(pending) "$line\n"
        }
    }
    if {!$Console(readWaiting) || [llength $Console(pending)] == 0} {
        Console:ShowState
        return
    }
    set line [lindex $Console(pending) 0]
    set n [Console:PieceLength $line $Console(pieceSize)]
    if {$n < [string length $line]} {
        set piece [string range $line 0 [expr {$n - 1}]]
        lset Console(pending) 0 [string range $line $n end]
        set Console(midLine) 1
    } else {
        set piece $line
        set Console(pending) [lrange $Console(pending) 1 end]
        set Console(midLine) 0
    }
    set Console(readWaiting) 0
    Console:SetBusy 1
    GuiReadLine $piece
}

# The number of characters at the start of text whose UTF-8 form fits in
# size bytes. A character takes one to three bytes (Tcl holds characters
# beyond U+FFFF as two), so dropping a third of the bytes too many, rounded
# up, never drops a character that fits.
proc Console:PieceLength {text size} {
    set n [expr {min([string length $text], $size)}]
    while {[set over [expr {[string length [encoding convertto utf-8 \
            [string range $text 0 $n-1]]] - $size}]] > 0} {
        incr n [expr {-(($over + 2) / 3)}]
    }
    return $n
}

# An error dropped the interpreter's input: the rest of a line that was
# being sent in pieces goes with it.
proc Text:DropInput {} {
    global Console
    if {$Console(midLine)} {
        set Console(pending) [lrange $Console(pending) 1 end]
        set Console(midLine) 0
    }
}

# Return: the input becomes part of the transcript. At the prompt (or
# typed ahead while the interpreter works) a form goes out only when it is
# whole: an unfinished one gets a continuation prompt and waits for its
# next line. Input for a running program that reads goes out line by line.
proc Console:Enter {} {
    global Console
    Console:Flush
    set w ::Console:Widget
    set text [$w get outEnd end-1c]
    set reading [expr {$Console(readWaiting) && ![Console:AtPrompt] && $Console(partial) eq ""}]
    $w insert end \n
    $w tag add input outEnd end-1c
    $w tag remove match 1.0 end
    $w tag remove nomatch 1.0 end
    $w mark set outEnd end-1c
    $w mark set insert end
    $w see end
    set Console(atLineStart) 1
    if {!$reading} {
        set form [expr {$Console(partial) eq "" ? $text : "$Console(partial)\n$text"}]
        if {[string trim $form] ne "" && ![Lisp:Complete $form]} {
            set Console(partial) $form
            $w mark gravity outEnd right
            $w insert outEnd ". " continuation
            $w mark gravity outEnd left
            set Console(histPos) [llength $Console(history)]
            Console:ShowState
            Console:Dump
            return
        }
        set Console(partial) {}
        set text $form
    }
    Console:Remember $text
    foreach line [split $text \n] {
        lappend Console(pending) "$line\n"
    }
    Console:Send
    Console:Dump
}

# Shows a command of the menus in the console as if typed at the prompt.
proc Console:Echo {text} {
    global Console
    set w ::Console:Widget
    $w mark gravity outEnd right
    $w insert outEnd "$text\n" input
    $w mark gravity outEnd left
    set Console(atLineStart) 1
}

# A command line of the menus (or of the editor): it waits until the
# interpreter is back at its prompt and then goes to it like a typed form,
# so that it never breaks off what the interpreter is doing.
proc Console:Command {text} {
    global Console
    Console:Flush
    lappend Console(commands) $text
    Console:Send
}

# The interpreter gives up what it waited for (a break, a top-level jump):
# a new request comes with the next prompt. Lines typed ahead and an
# unfinished form go; the menus' commands wait for the prompt.
proc Console:Abandon {} {
    global Console Display
    set Console(readWaiting) 0
    set Console(keyWaiting) 0
    set Console(pending) {}
    set Console(partial) {}
    set Console(midLine) 0
    Display:StopPicking
    Console:SetBusy 1
}

proc Console:SetBusy {busy} {
    global Console
    set Console(busy) $busy
    Console:DumpState [expr {$busy ? "busy" : "line"}]
    .tMain.fConsole.tText configure -cursor [expr {$busy ? "watch" : "xterm"}]
    Console:ShowState
}

# The status line: what the interpreter does, and the menu commands that
# wait for its prompt.
proc Console:ShowState {} {
    global Console Display PickHints
    set text [expr {$Console(busy) ? "busy" : "ready"}]
    if {$Console(partial) ne ""} {
        set text "form not finished"
    } elseif {$Display(waiting) && [info exists PickHints($Display(picking))]} {
        set text $PickHints($Display(picking))
    } elseif {$Console(keyWaiting)} {
        set text "press a key"
    }
    set n [llength $Console(commands)]
    if {$n > 0} {
        set first [lindex [split [lindex $Console(commands) 0] \n] 0]
        if {[string length $first] > 40} {set first "[string range $first 0 36]..."}
        set text "$text; waiting for the prompt: $first"
        if {$n > 1} {append text " (+[expr {$n - 1}])"}
    }
    if {$Console(histNote) ne ""} {append text " ($Console(histNote))"}
    Status $text
}

# ---------------------------------------------------------------- history
#
# Every entered form, whole (several lines if it was typed so), newest
# last. It is kept in ~/.tavex_history (readable by its owner only), one
# form a line with backslash and newline written as \\ and \n: the newest
# Console(histMax) forms of at most Console(histMaxChars) characters each.
# The file is optional: when it cannot be read or written the console works
# on and says so in the status line.

proc History:Encode {text} {string map {\\ \\\\ \n \\n} $text}
proc History:Decode {line} {string map {\\\\ \\ \\n \n} $line}

proc History:Load {} {
    global Console env
    if {![info exists env(HOME)] || $env(HOME) eq ""} return
    set Console(histFile) [file join $env(HOME) .tavex_history]
    if {![file exists $Console(histFile)]} return
    if {[catch {
        set f [open $Console(histFile) r]
        fconfigure $f -encoding utf-8 -translation lf
        set lines [split [read $f] \n]
        close $f
    } message]} {
        History:Failed $message
        return
    }
    set forms {}
    foreach line $lines {
        if {[string trim $line] ne ""} {lappend forms [History:Decode $line]}
    }
    set Console(history) [lrange $forms end-[expr {$Console(histMax) - 1}] end]
    set Console(histPos) [llength $Console(history)]
    # A file grown well past the bound is cut back to it.
    if {[llength $forms] > 2 * $Console(histMax)} History:Rewrite
}

proc History:Failed {message} {
    global Console
    if {$Console(histNote) ne ""} return
    set Console(histNote) "history not kept: $message"
    puts stderr "tavex: $Console(histNote)"
    Console:ShowState
}

# Writes the whole (bounded) history in place of the file: a regular file
# is replaced by a complete new one, so that a crash cannot leave half of
# it; anything else (a symbolic link) is written through.
proc History:Rewrite {} {
    global Console
    set file $Console(histFile)
    set temp $file
    if {[file type $file] eq "file"} {set temp "$file.[pid].tmp"}
    if {[catch {
        set f [open $temp {WRONLY CREAT TRUNC} 0600]
        fconfigure $f -encoding utf-8 -translation lf
        foreach form $Console(history) {puts $f [History:Encode $form]}
        close $f
        if {$temp ne $file} {file rename -force $temp $file}
    } message]} {
        catch {close $f}
        if {$temp ne $file} {catch {file delete $temp}}
        History:Failed $message
    }
}

# Adds an entered form to the history and to the end of the file.
proc Console:Remember {text} {
    global Console
    if {[string trim $text] ne "" && [lindex $Console(history) end] ne $text
        && [string length $text] <= $Console(histMaxChars)} {
        lappend Console(history) $text
        if {[llength $Console(history)] > $Console(histMax)} {
            set Console(history) [lrange $Console(history) end-[expr {$Console(histMax) - 1}] end]
        }
        if {$Console(histFile) ne "" && [catch {
            set f [open $Console(histFile) {WRONLY APPEND CREAT} 0600]
            fconfigure $f -encoding utf-8 -translation lf
            puts $f [History:Encode $text]
            close $f
        } message]} {
            catch {close $f}
            History:Failed $message
        }
    }
    set Console(histPos) [llength $Console(history)]
}

# Up and Down walk through the history while the cursor is on the first
# or last line of the input; elsewhere they move the cursor. A form comes
# back whole, over as many lines as it was typed on. Returns 1 when the
# key was used here.
proc Console:History {dir} {
    global Console
    set w ::Console:Widget
    if {[$w compare insert < outEnd]} {return 0}
    if {$dir < 0 && [$w compare "insert linestart" > "outEnd linestart"]} {return 0}
    if {$dir > 0 && [$w compare "insert lineend" < "end - 1 chars"]} {return 0}
    set n [llength $Console(history)]
    if {$Console(histPos) >= $n} {
        set Console(histPos) $n
        set Console(histSaved) [$w get outEnd end-1c]
    }
    set pos [expr {$Console(histPos) + $dir}]
    if {$pos < 0 || $pos > $n} {
        bell
        return 1
    }
    set Console(histPos) $pos
    set text [expr {$pos == $n ? $Console(histSaved) : [lindex $Console(history) $pos]}]
    $w delete outEnd end-1c
    $w insert end $text
    $w mark set insert [expr {$dir < 0 ? "outEnd lineend" : "end-1c"}]
    $w see end
    Console:AfterKey
    Console:Dump
    return 1
}

# After each key: the parenthesis pair at the cursor in the form being
# typed (from the first line of an unfinished one).
proc Console:AfterKey {} {
    global Console
    set w ::Console:Widget
    set from outEnd
    if {$Console(partial) ne ""} {
        set lines [llength [split $Console(partial) \n]]
        set from "outEnd linestart - $lines lines"
    }
    Lisp:ShowMatch $w [$w index $from] 100000
}
proc Console:Home {} {
    set w ::Console:Widget
    if {[$w compare insert >= outEnd] &&
        [$w compare "insert linestart" <= "outEnd linestart"]} {
        $w mark set insert outEnd
        $w see insert
        return 1
    }
    return 0
}

proc Console:ClearInput {} {
    ::Console:Widget delete outEnd end-1c
}

# Escape: drops the input, and the unfinished form if there is one; the
# prompt it was typed at shows again.
proc Console:Cancel {} {
    global Console
    set w ::Console:Widget
    $w delete outEnd end-1c
    if {$Console(partial) eq ""} return
    set Console(partial) {}
    $w delete "outEnd linestart" outEnd
    if {$Console(readWaiting)} {
        $w mark gravity outEnd right
        $w insert outEnd "> " output
        $w mark gravity outEnd left
    }
    Console:Send
    Console:Dump
}

proc Console:Clear {} {
    Console:Flush
    ::Console:Widget delete 1.0 outEnd
    Console:Dump
}

# A key for the interpreter's key request; Ctrl-C stays the break key.
proc Console:Key {char keysym state} {
    global Console
    if {!$Console(keyWaiting) || $char eq ""} {return 0}
    if {($state & 4) && [string tolower $keysym] eq "c"} {return 0}
    scan $char %c code
    if {$code > 255} {set code 63}
    set Console(keyWaiting) 0
    Console:SetBusy 1
    GuiGetKey $code
    return 1
}

proc Text:GetKey {} {
    global Console
    Console:Flush
    set Console(keyWaiting) 1
    Status "press a key"
    Console:DumpState key
    focus .tMain.fConsole.tText
}

# Test hook: with TAVEX_CONSOLE_DUMP naming a file, the console's whole
# text is written there after every change, and what the interpreter waits
# for (line, key, mouse or busy) into the same name with ".state" added, so
# that a test driving the window with real events can read what it shows.
proc Console:Dump {} {
    global env
    if {![info exists env(TAVEX_CONSOLE_DUMP)]} return
    Console:WriteFile $env(TAVEX_CONSOLE_DUMP) [::Console:Widget get 1.0 end-1c]
}

proc Console:DumpState {state} {
    global env
    if {![info exists env(TAVEX_CONSOLE_DUMP)]} return
    Console:WriteFile $env(TAVEX_CONSOLE_DUMP).state $state
}

proc Console:WriteFile {file text} {
    if {[catch {
        set f [open $file.tmp w]
        fconfigure $f -translation binary -encoding utf-8
        puts -nonewline $f $text
        close $f
        file rename -force $file.tmp $file
    } message]} {
        puts stderr "tavex: console dump: $message"
    }
}

bindtags $T [list ConsoleKeyWait ConsoleKeys $T Text .tMain all]
bind ConsoleKeyWait <KeyPress> {if {[Console:Key %A %K %s]} break}
bind ConsoleKeys <Return> {Console:Enter; break}
bind ConsoleKeys <KP_Enter> {Console:Enter; break}
bind ConsoleKeys <Up> {if {[Console:History -1]} break}
bind ConsoleKeys <Down> {if {[Console:History 1]} break}
bind ConsoleKeys <Home> {if {[Console:Home]} break}
bind ConsoleKeys <Control-a> {if {[Console:Home]} break}
bind ConsoleKeys <Control-u> {Console:ClearInput; break}
bind ConsoleKeys <Escape> {Console:Cancel; break}
bind ConsoleKeys <Control-l> {Console:Clear; break}
bind ConsoleKeys <Control-C> {tk_textCopy %W; break}
bind ConsoleKeys <Control-Insert> {tk_textCopy %W; break}
bind ConsoleKeys <Tab> {%W insert insert "  "; break}
bind ConsoleKeys <KeyRelease> {after cancel Console:AfterKey; after idle Console:AfterKey}
bind ConsoleKeys <ButtonRelease> {after cancel Console:AfterKey; after idle Console:AfterKey}
bind ConsoleKeys <F1> {Menu:Help [Lisp:NameAtCursor ::Console:Widget]; break}

# Shortcuts that work wherever the focus is in the main window.
foreach {key command} {
    <Control-c> Control:Break <Control-g> Control:Continue
    <Control-t> Control:TopLevel <Control-o> Menu:Load <Control-e> Menu:Edit
    <Control-q> Menu:Exit <F2> View:Enlarged
} {
    bind ConsoleKeys $key "$command; break"
    bind .tMain $key "$command; break"
}
bind .tMain <F1> {Menu:Help; break}

# The view's keys work wherever the focus is in the main window.
foreach {key command} {
    <Control-Key-0> {View:Zoom fit} <Control-Key-1> {View:Zoom 1/1}
    <Control-Key-2> {View:Zoom 2/1} <Control-Key-4> {View:Zoom 4/1}
    <Control-Key-8> {View:Zoom 8/1} <Control-minus> {View:Step -1}
    <Control-KP_Subtract> {View:Step -1} <Control-plus> {View:Step 1}
    <Control-equal> {View:Step 1} <Control-KP_Add> {View:Step 1}
} {
    bind ConsoleKeys $key "$command; break"
    bind .tMain $key "$command; break"
}

# ---------------------------------------------------------------- controls

proc Control:Break {} {
    Console:Abandon
    GuiBreak
}

proc Control:Continue {} {
    Console:Abandon
    GuiContinue
}

proc Control:TopLevel {} {
    Console:Abandon
    GuiTopLevel
}

# ---------------------------------------------------------------- display

# The image-plane point under the canvas position (cx, cy), or an empty
# list when the position is not on the photo. The photo's interior starts
# one pixel inside its border at (DispX0 + 1, DispY0 + 1); one image pixel
# covers DispZoom screen pixels; the image starts at (ImaX0, ImaY0).
proc Display:ImagePoint {cx cy} {
    global DispX0 DispY0 DispZoom ImaX0 ImaY0 ImaWidth ImaHeight
    if {$ImaWidth <= 0 || $ImaHeight <= 0 || $DispZoom <= 0} {return {}}
    set dw [expr {int($ImaWidth * $DispZoom)}]
    set dh [expr {int($ImaHeight * $DispZoom)}]
    set px [expr {$cx - $DispX0 - 1}]
    set py [expr {$cy - $DispY0 - 1}]
    # The border counts as the nearest image pixel.
    if {$px < -1 || $py < -1 || $px > $dw || $py > $dh} {return {}}
    set px [expr {min(max($px, 0), $dw - 1)}]
    set py [expr {min(max($py, 0), $dh - 1)}]
    set x [expr {$ImaX0 + min(int($px / $DispZoom), $ImaWidth - 1)}]
    set y [expr {$ImaY0 + min(int($py / $DispZoom), $ImaHeight - 1)}]
    return [list $x $y]
}

# The canvas column of the left edge of image column x (and, with y, the
# top edge of image row y): the first screen pixel that shows it, as the
# painter scales by nearest neighbour.
proc Display:CanvasX {x} {
    global DispX0 DispZoom ImaX0
    return [expr {$DispX0 + 1 + int(ceil(($x - $ImaX0) * $DispZoom))}]
}

proc Display:CanvasY {y} {
    global DispY0 DispZoom ImaY0
    return [expr {$DispY0 + 1 + int(ceil(($y - $ImaY0) * $DispZoom))}]
}

# What each button does while the interpreter waits for a point, a line or
# a rectangle, shown in the status line.
array set PickHints {
    point "Pick a point: left or middle button (or Ctrl+left)"
    line "Pick a line: drag with the left button, or left-click the first end\
and right-click the second; middle button or Ctrl+left: done"
    rect "Pick a rectangle: drag with the left button, or left-click a corner\
and right-click the opposite one; middle button or Ctrl+left: done"
}

# The interpreter waits for a click in the display: a click made in the
# meantime answers at once.
proc Display:GetMouse {{shape point}} {
    global Display PickHints
    Console:Flush
    if {![info exists PickHints($shape)]} {set shape point}
    set Display(waiting) 1
    set Display(picking) $shape
    .tMain.cDisplay configure -cursor crosshair
    Status $PickHints($shape)
    Console:DumpState mouse
    if {[llength $Display(queue)]} {
        set click [lindex $Display(queue) 0]
        set Display(queue) [lrange $Display(queue) 1 end]
        Display:Answer {*}$click
    }
}

# Picking ends (the last click went out, or the interpreter gave up).
proc Display:StopPicking {} {
    global Display
    set Display(waiting) 0
    set Display(picking) {}
    set Display(queue) {}
    set Display(press) {}
    .tMain.cDisplay delete band
    .tMain.cDisplay configure -cursor {}
}

# Sends one click, or keeps it until the interpreter asks again.
proc Display:Answer {button x y} {
    global Display
    if {!$Display(waiting)} {
        lappend Display(queue) [list $button $x $y]
        return
    }
    set Display(waiting) 0
    # The click that ends picking: point with the left or middle button,
    # line and rectangle with the middle one.
    if {$button == 2 || ($button == 1 && $Display(picking) eq "point")} {
        if {$Display(picking) eq "point"} {Display:Mark $x $y}
        Display:StopPicking
    }
    Console:SetBusy 1
    GuiGetMouse $button $x $y
}

# A button goes down in the display: a click for the waiting request (the
# button and the image-plane position; Ctrl+left counts as the middle
# button). While picking a line or a rectangle the left button begins a
# drag: a rubber band follows the pointer, and the release answers with
# the left button at the start and, if the pointer moved to another pixel,
# the right button at the end.
proc Display:Press {button state cx cy} {
    global Display
    if {$button > 3} return
    if {$Display(picking) eq ""} {
        if {$button == 1} {
            set Display(pan) [list $cx $cy]
            .tMain.cDisplay configure -cursor fleur
        }
        return
    }
    set point [Display:ImagePoint $cx $cy]
    if {$point eq ""} return
    if {$button == 1 && ($state & 4)} {set button 2}
    if {$button == 1 && $Display(picking) ne "point"} {
        set Display(press) $point
        Display:Band $point
        return
    }
    Display:Answer $button {*}$point
}

proc Display:Drag {cx cy} {
    global Display
    if {$Display(pan) ne ""} {
        lassign $Display(pan) x y
        set Display(pan) [list $cx $cy]
        View:Pan [expr {$x - $cx}] [expr {$y - $cy}]
        return
    }
    if {$Display(press) eq ""} return
    set point [Display:ImagePoint $cx $cy]
    if {$point ne ""} {Display:Band $point}
}

proc Display:Release {cx cy} {
    global Display
    if {$Display(pan) ne ""} {
        set Display(pan) {}
        .tMain.cDisplay configure -cursor [expr {$Display(picking) eq "" ? "" : "crosshair"}]
        return
    }
    if {$Display(press) eq ""} return
    set point [Display:ClampedPoint $cx $cy]
    set press $Display(press)
    set Display(press) {}
    .tMain.cDisplay delete band
    Display:Answer 1 {*}$press
    if {$point ne $press} {Display:Answer 3 {*}$point}
}

# The image point under (cx, cy), or the nearest one on the image when the
# pointer has left it (a drag may end outside).
proc Display:ClampedPoint {cx cy} {
    global ImaX0 ImaY0 ImaWidth ImaHeight DispZoom DispX0 DispY0
    set x [expr {$ImaX0 + int(floor(($cx - $DispX0 - 1) / $DispZoom))}]
    set y [expr {$ImaY0 + int(floor(($cy - $DispY0 - 1) / $DispZoom))}]
    set x [expr {min(max($x, $ImaX0), $ImaX0 + $ImaWidth - 1)}]
    set y [expr {min(max($y, $ImaY0), $ImaY0 + $ImaHeight - 1)}]
    return [list $x $y]
}

# The rubber band from the pressed point to `point`: a line between the
# two pixels' centres, or the outline around every pixel of the rectangle.
proc Display:Band {point} {
    global Display
    set c .tMain.cDisplay
    $c delete band
    lassign $Display(press) x1 y1
    lassign $point x2 y2
    if {$Display(picking) eq "line"} {
        set half [expr {$::DispZoom / 2}]
        $c create line [expr {[Display:CanvasX $x1] + $half}] \
            [expr {[Display:CanvasY $y1] + $half}] [expr {[Display:CanvasX $x2] + $half}] \
            [expr {[Display:CanvasY $y2] + $half}] -fill #ffff00 -tags band
    } else {
        if {$x2 < $x1} {lassign [list $x2 $x1] x1 x2}
        if {$y2 < $y1} {lassign [list $y2 $y1] y1 y2}
        $c create rectangle [Display:CanvasX $x1] [Display:CanvasY $y1] \
            [expr {[Display:CanvasX [expr {$x2 + 1}]] - 1}] \
            [expr {[Display:CanvasY [expr {$y2 + 1}]] - 1}] -outline #ffff00 -tags band
    }
}

# The point GET-POINT picked stays marked with a green cross until the
# next picture is painted (a line or rectangle stays in the picture itself).
proc Display:Mark {x y} {
    global Display
    set Display(mark) [list $x $y]
    Display:DrawMark
}

proc Display:DrawMark {} {
    global Display DispZoom
    set c .tMain.cDisplay
    $c delete mark
    if {$Display(mark) eq ""} return
    lassign $Display(mark) x y
    set left [Display:CanvasX $x]
    set top [Display:CanvasY $y]
    set right [expr {[Display:CanvasX [expr {$x + 1}]] - 1}]
    set bottom [expr {[Display:CanvasY [expr {$y + 1}]] - 1}]
    set mx [expr {($left + $right) / 2}]
    set my [expr {($top + $bottom) / 2}]
    set arm [expr {max(6, int($DispZoom))}]
    $c create line [expr {$mx - $arm}] $my [expr {$mx + $arm + 1}] $my -fill #00ff00 -tags mark
    $c create line $mx [expr {$my - $arm}] $mx [expr {$my + $arm + 1}] -fill #00ff00 -tags mark
}

# Shows the image position under the pointer and the displayed image's
# value there: its grey level, 0 or 1, or (r g b). Nothing over the icon.
proc Display:Track {cx cy} {
    global Display
    set Display(pointer) [list $cx $cy]
    set point [Display:ImagePoint $cx $cy]
    set text {}
    if {$point ne ""} {
        set value [GuiDispValue {*}$point]
        if {$value ne ""} {set text "x y: $point   value: $value"}
    }
    .tMain.fInfo.lPos configure -text $text
}

# The readout follows a new picture under a pointer that stays put.
proc Display:Retrack {} {
    global Display
    if {[llength $Display(pointer)] == 2} {Display:Track {*}$Display(pointer)}
}

# ---------------------------------------------------------------- zoom and pan
#
# The display fits the whole picture into the canvas (the default), or
# shows it at a fixed scale: View(zoom) is "fit" or "num/den". At a fixed
# scale the canvas shows part of a larger picture, moved with the
# scrollbars, the wheel (Shift: sideways) or a left-button drag outside
# picking; Ctrl+wheel zooms about the pointer.

set View(zoom) fit
# The fixed scales, smallest first.
set View(levels) {1/16 1/8 1/4 1/2 1/1 2/1 4/1 8/1 16/1 32/1}

proc View:Zoom {zoom args} {
    global View
    set View(zoom) $zoom
    if {$zoom eq "fit"} {
        GuiDispView fit
    } else {
        GuiDispView {*}[split $zoom /] {*}$args
    }
    View:Changed
}

# One scale up (dir 1) or down (-1) from the present one, about the canvas
# position args (default: its centre).
proc View:Step {dir args} {
    global View DispZoom
    set next {}
    foreach level $View(levels) {
        set z [expr double($level)]
        if {$dir > 0 && $z > $DispZoom * 1.0001} {
            set next $level
            break
        }
        if {$dir < 0 && $z < $DispZoom * 0.9999} {set next $level}
    }
    if {$next eq ""} {
        bell
        return
    }
    View:Zoom $next {*}$args
}

proc View:Wheel {dir state cx cy} {
    if {$state & 4} {
        View:Step [expr {-$dir}] $cx $cy
    } elseif {$state & 1} {
        View:Pan [expr {$dir * 40}] 0
    } else {
        View:Pan 0 [expr {$dir * 40}]
    }
}

proc View:Pan {dx dy} {
    GuiDispPan $dx $dy
    View:Changed
}

# The scrollbars' commands: moveto FRACTION, scroll N units|pages.
proc View:Scroll {axis what args} {
    global DispX0 DispY0 DispPhotoW DispPhotoH
    if {$axis eq "x"} {
        set at [expr {max(0, -$DispX0)}]
        set size $DispPhotoW
        set page [winfo width .tMain.cDisplay]
    } else {
        set at [expr {max(0, -$DispY0)}]
        set size $DispPhotoH
        set page [winfo height .tMain.cDisplay]
    }
    switch -- $what {
        moveto {set delta [expr {round([lindex $args 0] * $size) - $at}]}
        scroll {
            set n [lindex $args 0]
            set unit [expr {[lindex $args 1] eq "pages" ? $page * 9 / 10 : 20}]
            set delta [expr {$n * $unit}]
        }
        default return
    }
    if {$axis eq "x"} {View:Pan $delta 0} else {View:Pan 0 $delta}
}

# After the view moved or a picture came: the scrollbars show which part
# of the picture is in the canvas; the marked point, the readout follow.
proc View:Changed {} {
    global DispX0 DispY0 DispPhotoW DispPhotoH
    foreach {bar origin size page} [list .tMain.sDispX $DispX0 $DispPhotoW \
            [winfo width .tMain.cDisplay] .tMain.sDispY $DispY0 $DispPhotoH \
            [winfo height .tMain.cDisplay]] {
        if {$size <= $page || $origin >= 0} {
            $bar set 0 1
        } else {
            $bar set [expr {double(-$origin) / $size}] \
                [expr {double(-$origin + $page) / $size}]
        }
    }
    Display:DrawMark
    Display:Retrack
}

# The enlarged view: the whole picture as large as its window allows.
proc View:Enlarged {} {
    if {[winfo exists .tMaximized]} {
        wm deiconify .tMaximized
        raise .tMaximized
        return
    }
    toplevel .tMaximized
    wm title .tMaximized "Tavex - enlarged view"
    set size [expr {min([winfo screenwidth .], [winfo screenheight .]) * 3 / 4}]
    canvas .tMaximized.cMaximized -width $size -height $size -bg #303030 \
        -highlightthickness 0 -bd 0
    .tMaximized.cMaximized create image 0 0 -image iMaximized -anchor nw
    pack .tMaximized.cMaximized -fill both -expand 1
    bind .tMaximized.cMaximized <Configure> {catch {GuiMaxPaint %w %h}}
    bind .tMaximized <Escape> {destroy .tMaximized}
}

# Called after every display paint: the enlarged view follows the display.
proc Display:Painted {} {
    global Display
    set Display(mark) {}
    View:Changed
    if {[winfo exists .tMaximized.cMaximized]} {
        catch {GuiMaxPaint [winfo width .tMaximized.cMaximized] \
                   [winfo height .tMaximized.cMaximized]}
    }
}

# ---------------------------------------------------------------- menus

# A string (a file name) as a Lisp string literal that holds the name's
# bytes in the system's encoding. The console sends UTF-8, so where that
# encoding gives other bytes, each byte from 128 up is written as an octal
# escape.
proc Lisp:String {text} {
    set text [string map {\\ \\\\ \" \\\"} $text]
    set native [encoding convertto [encoding system] $text]
    if {$native ne [encoding convertto utf-8 $text]} {
        set text {}
        foreach byte [split $native {}] {
            scan $byte %c code
            append text [expr {$code < 128 ? $byte : [format \\%03o $code]}]
        }
    }
    return "\"$text\""
}

# A word for the shell, in single quotes.
proc Shell:Quote {text} {
    return "'[string map {' '\\''} $text]'"
}

# Starts one of the programs beside tavex (edit, help) in the background.
# Installed, they are named tavex-edit and tavex-help (a /usr/bin/edit
# may be another program).
proc Program:Start {name args} {
    global ProgramDir
    set program [file join $ProgramDir tavex-$name]
    if {![file executable $program]} {
        set program [file join $ProgramDir $name]
    }
    set command [Shell:Quote $program]
    foreach a $args {
        append command " " [Shell:Quote $a]
    }
    if {[catch {GuiSystem "$command </dev/null >/dev/null 2>&1 &"} message]} {
        tk_messageBox -parent .tMain -icon error -title Tavex \
            -message "Cannot start $name: $message"
    }
}

set LispTypes {{{Lisp files} {.lsp}} {{All files} *}}

proc Menu:Load {} {
    set file [tk_getOpenFile -parent .tMain -title "Load a Lisp file" \
                  -filetypes $::LispTypes]
    if {$file ne ""} {
        Console:Command "(load [Lisp:String $file])"
    }
}

# Image files: the filter module by the file's extension, "" for the
# native format.
set ImageTypes {
    {{Image files} {.ima .png .tif .tiff .jpg .jpeg .pgm .pbm .ppm .pnm}}
    {{Tavex images} {.ima}} {{PNG} {.png}} {{TIFF} {.tif .tiff}}
    {{JPEG} {.jpg .jpeg}} {{Netpbm} {.pgm .pbm .ppm .pnm}} {{All files} *}
}
array set ImageFilters {
    .ima {} .png png .tif tiff .tiff tiff .jpg jpeg .jpeg jpeg
    .pgm pgm .pbm pgm .ppm pgm .pnm pgm
}

# The IMALOAD or IMASAVE arguments after the image for a file: its name and
# filter module; an error for an extension no module reads.
proc Image:FileArguments {file} {
    global ImageFilters
    set ext [string tolower [file extension $file]]
    if {![info exists ImageFilters($ext)]} {
        error "\"[file tail $file]\": the name must end in .ima, .png, .tif, .tiff, .jpg, .jpeg, .pgm, .pbm, .ppm or .pnm"
    }
    set arguments [Lisp:String $file]
    if {$ImageFilters($ext) ne ""} {
        append arguments " " [Lisp:String $ImageFilters($ext)]
    }
    return $arguments
}

proc Image:Refuse {message} {
    tk_messageBox -parent .tMain -icon error -title Tavex -message $message
}

# Asks for an image file with DIALOG (tk_getOpenFile or tk_getSaveFile)
# and runs the Lisp command FORMAT with the file's arguments for %s.
proc Image:Command {dialog title format} {
    set file [$dialog -parent .tMain -title $title -filetypes $::ImageTypes]
    if {$file eq ""} return
    if {[catch {Image:FileArguments $file} arguments]} {
        Image:Refuse $arguments
        return
    }
    Console:Command [format $format $arguments]
}

proc Menu:OpenImage {} {
    Image:Command tk_getOpenFile "Open image" "(imaload %s)"
}

# Saves the last result (the value of *), normally the image just shown.
proc Menu:SaveImage {} {
    Image:Command tk_getSaveFile "Save image" "(imasave * %s)"
}

proc Menu:TranscriptStart {} {
    set file [tk_getSaveFile -parent .tMain -title "Transcript file" \
                  -filetypes {{{Text files} {.txt}} {{All files} *}}]
    if {$file ne ""} {
        Console:Command "(dribble [Lisp:String $file])"
    }
}

proc Menu:TranscriptStop {} {
    Console:Command "(dribble)"
}

proc Menu:Edit {} {
    set file [tk_getOpenFile -parent .tMain -title "Edit a Lisp file" \
                  -filetypes $::LispTypes]
    if {$file ne ""} {
        Program:Start edit $file
    }
}

# The function reference, on the entry of NAME when one is given, in the
# viewer's one window.
proc Menu:Help {{name ""}} {
    HelpLink:Show $name {Program:Start help}
}

# ---------------------------------------------------------------- editor link
#
# The editor (edit.tcl) reaches this window with Tk's send, under the
# application name in TAVEX_APP. Its commands queue like the menus'.

# Loads FILE; returns what happens to the request.
proc Remote:Load {file} {
    Remote:Run "(load [Lisp:String $file])"
}

# Evaluates TEXT, one or more forms, as if typed at the prompt. Text that
# leaves a form open is refused: the reader would wait for the rest of it.
proc Remote:Eval {text} {
    if {![Lisp:Complete $text]} {
        return "not sent: a form is not finished"
    }
    Remote:Run [string trimright $text]
}

proc Remote:Run {command} {
    global Console
    set busy [expr {![Console:AtPrompt] || [llength $Console(commands)] > 0}]
    Console:Command $command
    return [expr {$busy ? "queued until the prompt is back" : "sent"}]
}

proc Menu:Keys {} {
    tk_messageBox -parent .tMain -title "Console keys" -message "Console keys" -detail \
"Return\tsend the input to the interpreter
Up, Down\tearlier and later forms (kept in ~/.tavex_history)
F1\tthe function reference on the name at the cursor
Home, Ctrl+A\tstart of the input
Ctrl+U\tclear the input
Escape\tclear the input and drop an unfinished form
Ctrl+L\tclear the console
Ctrl+Shift+C\tcopy
Ctrl+V\tpaste

Ctrl+C\tbreak: stop the evaluation
Ctrl+G\tcontinue from the break loop
Ctrl+T\tback to top level

Ctrl+0\tfit the picture into the display
Ctrl+1, 2, 4, 8\t1:1, 2x, 4x, 8x
Ctrl++, Ctrl+-\tzoom in, zoom out
Wheel, drag\tmove an enlarged picture (Shift+wheel: sideways, Ctrl+wheel: zoom)

In the display, while a point, a line or a rectangle is asked for, the status line says which button does what."
}

proc Menu:About {} {
    tk_messageBox -parent .tMain -title "About Tavex" -message "Tavex" -detail \
        "Interactive image analysis with the Kestrel Lisp interpreter."
}

# Ends the program, also while the interpreter is busy: the process exits
# at once with status 0 (the interpreter thread ends with it).
proc Menu:Exit {} {
    exit 0
}

# ---------------------------------------------------------------- start

# The interpreter's argument string: the program name, then the script's
# arguments; a word that is empty or holds white space or a double quote is
# put in double quotes, its backslashes and double quotes escaped with a
# backslash, so that every word reaches the interpreter exactly as given.
proc Gui:ArgumentString {words} {
    set out {}
    foreach word $words {
        if {$word eq "" || [regexp {[\s"]} $word]} {
            set word "\"[string map {\\ \\\\ \" \\\"} $word]\""
        }
        lappend out $word
    }
    return [join $out " "]
}

set env(TAVEX_APP) [tk appname tavex]
History:Load
focus .tMain.fConsole.tText
update idletasks
# From now on the window keeps its size unless the user changes it: a
# longer status text must not move the display under the mouse.
wm geometry .tMain [winfo reqwidth .tMain]x[winfo reqheight .tMain]
Console:SetBusy 1
GuiInit [Gui:ArgumentString [list [info nameofexecutable] {*}$argv]]

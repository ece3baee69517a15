# help.tcl: the function reference of Tavex, started by the program `help`
# (from the workstation's Help menu or by hand: help [name]).
#
# Every Lisp function of the three tables (core Lisp, image functions, the
# example extension) with its arguments, result, messages and an example.
# The entries live in functions.txt beside this script.

wm withdraw .

# One viewer a display: when one runs already, it shows the name asked for
# (or its overview) and comes to the front, and this process ends.
source [file join [file dirname [file normalize [info script]]] helplink.tcl]
set Help(asked) [expr {[llength $argv] > 0 ? [string toupper [lindex $argv 0]] : ""}]
if {[HelpLink:Send $Help(asked)]} {exit 0}
tk appname $HelpLink(app)

set Help(dir) [file dirname [file normalize [info script]]]
set Help(search) {}
set Help(refreshed) {}
set Help(table) all
set Help(fullText) 0
set Help(shown) {}

# The generic argument errors every built-in can report.
set Help(usual) {"too few arguments", "too many arguments", "bad argument type"}

# ---------------------------------------------------------------- data

# Reads functions.txt into Entry(id,field), Names(name) -> id lists, and
# the themes: Help(themes), their titles in order, and Theme(title), the
# ids of each theme's entries.
proc Help:Load {file} {
    global Entry Names Help Theme
    set f [open $file r]
    fconfigure $f -encoding utf-8
    set id -1
    set Help(themes) {}
    set theme ""
    while {[gets $f line] >= 0} {
        if {[string match "#*" $line] || [string trim $line] eq ""} continue
        if {[regexp {^% (.+)$} $line -> theme]} {
            if {$theme ni $Help(themes)} {
                lappend Help(themes) $theme
                set Theme($theme) {}
            }
            continue
        }
        if {[string match "@ *" $line]} {
            incr id
            set words [lrange [split [string range $line 2 end] " "] 0 end]
            set Entry($id,table) [lindex $words 0]
            set Entry($id,names) [lrange $words 1 end]
            if {$theme eq ""} {error "$file: the entry of [lindex $words 1] has no theme"}
            lappend Theme($theme) $id
            foreach field {args returns errors example note} {set Entry($id,$field) {}}
            foreach name $Entry($id,names) {
                lappend Names($name) $id
            }
            continue
        }
        if {$id < 0 || ![regexp {^(args|returns|errors|example|note):\s*(.*)$} $line -> key text]} {
            continue
        }
        if {$key eq "errors"} {
            set text [string map [list usual $Help(usual)] $text]
        }
        if {$Entry($id,$key) ne ""} {append Entry($id,$key) " "}
        append Entry($id,$key) $text
    }
    close $f
    set Help(count) [expr {$id + 1}]
}

# Reads overview.txt into Help(overview): a list of {kind text} blocks,
# kind being heading, code or body.
proc Help:LoadOverview {file} {
    global Help
    set f [open $file r]
    fconfigure $f -encoding utf-8
    set blocks {}
    set para ""
    foreach line [split [read $f] "\n"] {
        if {[string match "#*" $line]} continue
        if {[string trim $line] eq "" || [regexp {^(= |    |%themes$)} $line]} {
            if {$para ne ""} {lappend blocks [list body $para]}
            set para ""
        }
        if {$line eq "%themes"} {
            lappend blocks [list themes {}]
        } elseif {[string match "= *" $line]} {
            lappend blocks [list heading [string range $line 2 end]]
        } elseif {[string match "    *" $line]} {
            lappend blocks [list code [string range $line 4 end]]
        } elseif {[string trim $line] ne ""} {
            append para [expr {$para eq "" ? "" : " "}] [string trim $line]
        }
    }
    if {$para ne ""} {lappend blocks [list body $para]}
    close $f
    set Help(overview) $blocks
}

# The names to list: those of the chosen table whose name (or, with full
# text search, whose entry) holds the search text; in byte order.
proc Help:Matches {} {
    global Help Names Entry
    set want [string tolower [string trim $Help(search)]]
    set out {}
    foreach name [lsort [array names Names]] {
        foreach id $Names($name) {
            if {$Help(table) ne "all" && $Entry($id,table) ne $Help(table)} continue
            set hay [string tolower $name]
            if {$Help(fullText)} {
                append hay " " [string tolower "$Entry($id,args) $Entry($id,returns) $Entry($id,note)"]
            }
            if {$want eq "" || [string first $want $hay] >= 0} {
                lappend out [list $name $id]
                break
            }
        }
    }
    return $out
}

# ---------------------------------------------------------------- windows

toplevel .tMain
wm title .tMain "Tavex function reference"
wm protocol .tMain WM_DELETE_WINDOW {exit 0}
bind .tMain <Control-q> {exit 0}
bind .tMain <Escape> {exit 0}

frame .tMain.fLeft
button .tMain.fLeft.bOverview -text "Overview" -command Help:ShowOverview
label .tMain.fLeft.lSearch -text "Search:" -anchor w
entry .tMain.fLeft.eSearch -textvariable Help(search) -width 24
frame .tMain.fLeft.fTables
foreach {value label} {all All lisp Lisp ima Image test Extension} {
    radiobutton .tMain.fLeft.fTables.r$value -text $label -value $value \
        -variable Help(table) -command Help:Refresh
    pack .tMain.fLeft.fTables.r$value -side left
}
checkbutton .tMain.fLeft.cFull -text "Search the descriptions too" \
    -variable Help(fullText) -command Help:Refresh
listbox .tMain.fLeft.lbNames -width 24 -height 30 -exportselection 0 \
    -yscrollcommand {.tMain.fLeft.sY set} -font TkFixedFont
scrollbar .tMain.fLeft.sY -orient vertical -command {.tMain.fLeft.lbNames yview}
label .tMain.fLeft.lCount -anchor w
grid .tMain.fLeft.bOverview -columnspan 2 -sticky w -pady {0 4}
grid .tMain.fLeft.lSearch -columnspan 2 -sticky w
grid .tMain.fLeft.eSearch -columnspan 2 -sticky ew
grid .tMain.fLeft.fTables -columnspan 2 -sticky w
grid .tMain.fLeft.cFull -columnspan 2 -sticky w
grid .tMain.fLeft.lbNames .tMain.fLeft.sY -sticky nsew
grid .tMain.fLeft.lCount -columnspan 2 -sticky w
grid rowconfigure .tMain.fLeft 5 -weight 1
grid columnconfigure .tMain.fLeft 0 -weight 1

frame .tMain.fRight
text .tMain.fRight.tEntry -width 72 -height 30 -wrap word -bg white -padx 10 -pady 8 \
    -yscrollcommand {.tMain.fRight.sY set} -cursor arrow
scrollbar .tMain.fRight.sY -orient vertical -command {.tMain.fRight.tEntry yview}
pack .tMain.fRight.sY -side right -fill y
pack .tMain.fRight.tEntry -side left -fill both -expand 1

set E .tMain.fRight.tEntry
$E tag configure name -font {TkHeadingFont 14 bold} -spacing3 4
$E tag configure kind -foreground #606060 -spacing3 10
$E tag configure heading -font TkHeadingFont -spacing1 8
$E tag configure body -lmargin1 16 -lmargin2 16
$E tag configure code -font TkFixedFont -lmargin1 16 -lmargin2 16 -background #f2f2f2
$E tag configure theme -font TkHeadingFont -lmargin1 16 -spacing1 6
$E tag configure names -font TkFixedFont -lmargin1 32 -lmargin2 32
$E tag configure also -foreground #00308f -underline 1
$E tag bind also <Enter> {.tMain.fRight.tEntry configure -cursor hand2}
$E tag bind also <Leave> {.tMain.fRight.tEntry configure -cursor arrow}

pack .tMain.fLeft -side left -fill y -padx 4 -pady 4
pack .tMain.fRight -side left -fill both -expand 1 -padx 4 -pady 4

# ---------------------------------------------------------------- behaviour

# The list follows the search text shortly after typing stops. Only a
# changed text counts: a key that changes nothing (or the release of one
# pressed in another window) leaves the page shown alone.
proc Help:SearchTyped {} {
    global Help
    if {$Help(search) eq $Help(refreshed)} return
    after cancel Help:Refresh
    after 150 Help:Refresh
}

proc Help:Refresh {} {
    global Help
    set Help(refreshed) $Help(search)
    set lb .tMain.fLeft.lbNames
    $lb delete 0 end
    set Help(listed) [Help:Matches]
    foreach item $Help(listed) {
        $lb insert end [lindex $item 0]
    }
    .tMain.fLeft.lCount configure -text "[llength $Help(listed)] functions"
    if {[llength $Help(listed)] > 0} {
        $lb selection set 0
        Help:Show [lindex $Help(listed) 0 0]
    }
}

proc Help:Selected {} {
    global Help
    set sel [.tMain.fLeft.lbNames curselection]
    if {$sel eq ""} return
    Help:Show [lindex $Help(listed) $sel 0]
}

# Writes the shown text to the file named by TAVEX_HELP_DUMP, if set (for
# the tests, which cannot read the window).
proc Help:Dump {} {
    global env
    if {![info exists env(TAVEX_HELP_DUMP)]} return
    set f [open $env(TAVEX_HELP_DUMP) w]
    fconfigure $f -encoding utf-8
    puts -nonewline $f [.tMain.fRight.tEntry get 1.0 end-1c]
    close $f
}

# Shows the overview page.
proc Help:ShowOverview {} {
    global Help
    set t .tMain.fRight.tEntry
    $t configure -state normal
    $t delete 1.0 end
    set Help(shown) ""
    foreach block $Help(overview) {
        lassign $block kind text
        if {$kind eq "themes"} {
            Help:InsertThemes $t
        } else {
            $t insert end "$text\n" [dict get {heading heading code code body body} $kind]
        }
    }
    $t configure -state disabled
    Help:Dump
}

# The functions by theme: a heading for each, then its names, each a link
# to its entry.
proc Help:InsertThemes {t} {
    global Help Theme Entry
    foreach theme $Help(themes) {
        $t insert end "$theme\n" theme
        set first 1
        foreach id $Theme($theme) {
            foreach name $Entry($id,names) {
                if {!$first} {$t insert end "  " names}
                set first 0
                Help:InsertLink $t $name names
            }
        }
        $t insert end "\n" names
    }
}

# Inserts NAME as a link to its entry, with the extra TAGS.
proc Help:InsertLink {t name tags} {
    set tag "link-$name"
    $t insert end $name [list also $tag {*}$tags]
    $t tag bind $tag <Button-1> [list Help:Jump $name]
}

# A second start of the viewer asks this one to show NAME (the overview
# when it is empty) and to come to the front.
proc Help:Raise {name} {
    wm deiconify .tMain
    raise .tMain
    focus -force .tMain.fLeft.eSearch
    if {$name eq ""} {
        Help:ShowOverview
    } else {
        Help:Jump $name
    }
    return shown
}

# Shows the entry of one name.
proc Help:Show {name} {
    global Help Names Entry
    set t .tMain.fRight.tEntry
    $t configure -state normal
    $t delete 1.0 end
    if {![info exists Names($name)]} {
        $t insert end "No function named $name." body
        $t configure -state disabled
        Help:Dump
        return
    }
    set Help(shown) $name
    set id [lindex $Names($name) 0]
    set kind [dict get {lisp "Lisp function" ima "image function" test "example extension"} \
                  $Entry($id,table)]
    $t insert end "$name\n" name "$kind\n" kind
    $t insert end "Arguments\n" heading "($name $Entry($id,args))\n" code
    foreach {field title} {returns Returns errors Messages} {
        $t insert end "$title\n" heading "$Entry($id,$field)\n" body
    }
    $t insert end "Example\n" heading "$Entry($id,example)\n" code
    if {$Entry($id,note) ne ""} {
        $t insert end "Note\n" heading "$Entry($id,note)\n" body
    }
    set others [lsearch -all -inline -not -exact $Entry($id,names) $name]
    if {[llength $others] > 0} {
        $t insert end "Described together with\n" heading
        foreach other $others {
            Help:InsertLink $t $other body
            $t insert end "  " body
        }
        $t insert end "\n"
    }
    $t configure -state disabled
    Help:Dump
}

# Shows a name and selects it in the list.
proc Help:Jump {name} {
    global Help
    set i [lsearch -exact -index 0 $Help(listed) $name]
    if {$i < 0} {
        set Help(search) ""
        set Help(table) all
        Help:Refresh
        set i [lsearch -exact -index 0 $Help(listed) $name]
    }
    set lb .tMain.fLeft.lbNames
    $lb selection clear 0 end
    if {$i >= 0} {
        $lb selection set $i
        $lb see $i
    }
    Help:Show $name
}

bind .tMain.fLeft.lbNames <<ListboxSelect>> Help:Selected
bind .tMain.fLeft.eSearch <KeyRelease> Help:SearchTyped
bind .tMain.fLeft.eSearch <Return> {after cancel Help:Refresh; Help:Refresh}
bind .tMain.fLeft.eSearch <Down> {focus .tMain.fLeft.lbNames}

# ---------------------------------------------------------------- start

if {[catch {
    Help:Load [file join $Help(dir) functions.txt]
    Help:LoadOverview [file join $Help(dir) overview.txt]
} message]} {
    tk_messageBox -icon error -title "Tavex function reference" \
        -message "Cannot read the function reference: $message"
    exit 1
}
GuiInit
Help:Refresh
if {$Help(asked) ne ""} {
    Help:Jump $Help(asked)
} else {
    Help:ShowOverview
}
focus .tMain.fLeft.eSearch

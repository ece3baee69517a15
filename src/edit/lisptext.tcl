# lisptext.tcl: Kestrel source text as the console and the editor see it,
# sourced by tavex.tcl and edit.tcl. Tokens follow the reader: strings with
# backslash escapes, ";" comments to the end of the line, "#|...|#" block
# comments, "|...|" symbols, "#\x" characters, and parentheses.

# One token of Kestrel text, for `regexp -all -indices`. The alternatives
# are all greedy, so each match is the longest token starting there.
set Lisp(token) {"(?:[^"\\]|\\.)*"?|;[^\n]*|#\|(?:[^|]|\|+[^|#])*\|*(?:\|#)?|#\\.[^\s()";]*|\|(?:[^|\\]|\\.)*\|?|[()]|[^\s()";|'`,]+}

# How far TEXT is from being whole forms: the number of parentheses left
# open, and whether it ends inside a string, a "|...|" symbol or a block
# comment. Returns {depth open}; the text is complete when depth <= 0 and
# open is 0.
proc Lisp:Openness {text} {
    global Lisp
    set depth 0
    set open 0
    foreach token [regexp -all -inline $Lisp(token) $text] {
        switch -glob -- $token {
            ( {incr depth; set open 0}
            ) {incr depth -1; set open 0}
            \"* {set open [expr {[string length $token] < 2 || ![Lisp:Closed $token \"]}]}
            |* {set open [expr {[string length $token] < 2 || ![Lisp:Closed $token |]}]}
            #|* {set open [expr {![string match {*|#} $token] || [string length $token] < 4}]}
            default {set open 0}
        }
    }
    return [list $depth $open]
}

# Whether a string or "|" token ends with its unescaped closing QUOTE.
proc Lisp:Closed {token quote} {
    if {[string index $token end] ne $quote} {return 0}
    regexp {(\\*).$} $token -> slashes
    return [expr {[string length $slashes] % 2 == 0}]
}

proc Lisp:Complete {text} {
    lassign [Lisp:Openness $text] depth open
    return [expr {$depth <= 0 && !$open}]
}

# The character offset of the parenthesis that matches the one at offset
# AT of TEXT, or -1. TEXT must start outside any form. Parentheses inside
# strings, comments, "|...|" symbols and characters (#\( ) do not count.
proc Lisp:MatchOffset {text at} {
    global Lisp
    set stack {}
    foreach range [regexp -all -indices -inline $Lisp(token) $text] {
        lassign $range i
        switch -- [string index $text $i] {
            ( {lappend stack $i}
            ) {
                if {[llength $stack] == 0} {
                    if {$i == $at} {return -1}
                    continue
                }
                set open [lindex $stack end]
                set stack [lrange $stack 0 end-1]
                if {$i == $at} {return $open}
                if {$open == $at} {return $i}
            }
        }
    }
    return -1
}

# Highlights in text widget W the parenthesis pair at the cursor (the one
# just before it when that closes, else the one under it) with the tags
# match (both found) or nomatch. FROM is where a form may start at the
# earliest; the scan starts at the last line before the parenthesis that
# begins with "(", but not before FROM. LIMIT bounds the characters
# scanned.
proc Lisp:ShowMatch {w from limit} {
    $w tag remove match 1.0 end
    $w tag remove nomatch 1.0 end
    if {[$w compare insert > $from] && [$w get "insert - 1 chars"] eq ")"} {
        set index [$w index "insert - 1 chars"]
    } elseif {[$w get insert] in {( )} && [$w compare insert >= $from]} {
        set index [$w index insert]
    } else {
        return
    }
    set start [$w search -backward -regexp {^\(} "$index + 1 chars" $from]
    if {$start eq ""} {set start [$w index $from]}
    set offset [$w count -chars $start $index]
    if {$offset > $limit} return
    set other [Lisp:MatchOffset [$w get $start "$index lineend + $limit chars"] $offset]
    if {$other < 0} {
        $w tag add nomatch $index
    } else {
        $w tag add match $index
        $w tag add match "$start + $other chars"
    }
}

# The symbol at or just before the cursor of text widget W, upper-cased,
# or "" when there is none.
proc Lisp:NameAtCursor {w} {
    set line [$w get "insert linestart" "insert lineend"]
    set column [lindex [split [$w index insert] .] 1]
    set word {[^\s()";'`,|]}
    set left [string range $line 0 [expr {$column - 1}]]
    set right [string range $line $column end]
    regexp "${word}*\$" $left before
    regexp "^${word}*" $right after
    return [string toupper "$before$after"]
}

# ---------------------------------------------------------------- colouring

# The names the colouring knows, from the help viewer's data file: the
# forms of the control-forms theme are keywords, every other name a known
# function. Reading is skipped silently when the file is not there.
proc Lisp:LoadNames {file} {
    global Lisp
    set Lisp(names) [dict create]
    if {[catch {open $file r} f]} return
    set theme ""
    while {[gets $f line] >= 0} {
        if {[regexp {^% (.*)$} $line -> theme]} continue
        if {[string match "@ *" $line]} {
            set kind [expr {$theme eq "Control forms" ? "keyword" : "function"}]
            foreach name [lrange [split [string range $line 2 end] " "] 1 end] {
                dict set Lisp(names) $name $kind
            }
        }
    }
    close $f
}

# Gives the tags comment, string, paren, keyword and function to the text
# of widget W between FROM and TO, which must start outside any form.
# Token offsets become line.column indexes by walking the line starts
# along with the tokens (an index "FROM + N chars" costs time in N).
proc Lisp:Colour {w from to} {
    global Lisp
    foreach tag {comment string paren keyword function} {
        $w tag remove $tag $from $to
    }
    set text [$w get $from $to]
    lassign [split [$w index $from] .] line0 column0
    set starts [list 0]
    set at 0
    while {[set at [string first \n $text $at]] >= 0} {lappend starts [incr at]}
    set runs [dict create]
    foreach range [regexp -all -indices -inline $Lisp(token) $text] {
        lassign $range i j
        set c [string index $text $i]
        set tag ""
        switch -glob -- $c {
            \; {set tag comment}
            \" {set tag string}
            ( - ) {set tag paren}
            # {
                if {[string index $text [expr {$i + 1}]] eq "|"} {set tag comment}
            }
            default {
                set name [string toupper [string range $text $i $j]]
                if {[info exists Lisp(names)] && [dict exists $Lisp(names) $name]} {
                    set tag [dict get $Lisp(names) $name]
                }
            }
        }
        if {$tag ne ""} {
            dict lappend runs $tag [Lisp:Index $starts $line0 $column0 $i] \
                [Lisp:Index $starts $line0 $column0 [expr {$j + 1}]]
        }
    }
    dict for {tag indexes} $runs {
        $w tag add $tag {*}$indexes
    }
}

# The widget index of character OFFSET of a text whose lines start at the
# offsets STARTS and whose first character is at LINE0.COLUMN0.
proc Lisp:Index {starts line0 column0 offset} {
    set n [lsearch -sorted -integer -bisect $starts $offset]
    set column [expr {$offset - [lindex $starts $n]}]
    if {$n == 0} {incr column $column0}
    return "[expr {$line0 + $n}].$column"
}

proc Lisp:ColourTags {w} {
    $w tag configure comment -foreground #707070
    $w tag configure string -foreground #a05000
    $w tag configure paren -foreground #808080
    $w tag configure keyword -foreground #8000a0
    $w tag configure function -foreground #0050b0
    $w tag raise sel
}

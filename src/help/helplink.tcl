# helplink.tcl: the one function reference window of a display, sourced by
# help.tcl, tavex.tcl and edit.tcl. The viewer registers itself for Tk's
# send under HelpLink(app); a request for an entry goes to it when it runs
# and starts it otherwise.

set HelpLink(app) tavex-help

# Shows the entry of NAME (the overview when NAME is empty) in the running
# viewer and brings it to the front; returns 0 when no viewer answers.
proc HelpLink:Send {name} {
    global HelpLink
    expr {$HelpLink(app) in [winfo interps]
          && ![catch {send -- $HelpLink(app) [list Help:Raise $name]}]}
}

# The same, or, when no viewer runs, the command prefix START with the name
# added (if any), which starts one.
proc HelpLink:Show {name start} {
    if {[HelpLink:Send $name]} return
    if {$name eq ""} {
        {*}$start
    } else {
        {*}$start $name
    }
}

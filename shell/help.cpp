// help: the launcher of the function reference viewer. It runs the script
// ../src/help/help.tcl relative to its own directory in a plain Tk shell;
// the script does all the work. It starts no interpreter thread.
#include "extent.h"
#include "tkstart.h"

#include <tcl.h>

// The viewer calls GuiInit like the workstation's script does; here it
// only sets the window icon, which does nothing on this platform.
static int GuiInit(void *, Tcl_Interp *interp, int, const char *[]) {
    SetIcon(interp, ".tMain", "MAIN_ICON");
    return TCL_OK;
}

static int TclInit(Tcl_Interp *interp) {
    try {
        TkCommonInit(interp);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
    Tcl_CreateCommand(interp, "GuiInit", GuiInit, nullptr, nullptr);
    Tcl_CreateCommand(interp, "GuiGetOEMCP", GuiGetOEMCP, nullptr, nullptr);
    return TCL_OK;
}

int main(int argc, char **argv) { RunTkScript(argc, argv, "../src/help/help.tcl", TclInit); }

// help: the launcher of the function reference viewer. It runs the script
// help/help.tcl, found as shell/datafile.h says (../src/help/ beside a build
// tree, ../share/tavex/help/ installed), in a plain Tk shell; the script does
// all the work. It starts no interpreter thread.
#include "shell/tkstart.h"

int main(int argc, char **argv) { RunLauncher(argc, argv, "help/help.tcl"); }

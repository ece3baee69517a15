// edit: the launcher of the Lisp file editor. It runs the script
// edit/edit.tcl, found as shell/datafile.h says (../src/edit/ beside a build
// tree, ../share/tavex/edit/ installed), in a plain Tk shell; the script does
// all the work. It starts no interpreter thread.
#include "shell/tkstart.h"

int main(int argc, char **argv) { RunLauncher(argc, argv, "edit/edit.tcl"); }

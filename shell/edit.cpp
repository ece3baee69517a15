// edit: the launcher of the Lisp file editor. It runs the script
// ../src/edit/edit.tcl relative to its own directory in a plain Tk shell;
// the script does all the work. It starts no interpreter thread.
#include "shell/tkstart.h"

int main(int argc, char **argv) { RunLauncher(argc, argv, "../src/edit/edit.tcl"); }

// help: the launcher of the function reference viewer. It runs the script
// ../src/help/help.tcl relative to its own directory in a plain Tk shell;
// the script does all the work. It starts no interpreter thread.
#include "shell/tkstart.h"

int main(int argc, char **argv) { RunLauncher(argc, argv, "../src/help/help.tcl"); }

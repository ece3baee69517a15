// Start-up shared by the three Tk programs (tavex, edit, help): each one
// runs a Tcl script found relative to the program's own directory, e.g.
// <dir>/../src/disp/tavex.tcl in the source tree or
// <dir>/../share/tavex/disp/tavex.tcl installed (datafile.h).
#pragma once

#include <string>
#include <vector>

struct Tcl_Interp;

// The directory part of a program path, up to and including its last
// slash, after backslashes have been turned into slashes. The slash is
// looked for from the last character down to the second one, so "/x" and
// "x" both give an empty directory.
std::string ProgramDirectory(const std::string &program);

// The argument vector handed to Tk: the program path (backslashes turned
// into slashes), the script path (`script`, such as "disp/tavex.tcl",
// looked up by DataFile from the program directory), then the program's own
// arguments 1 onward.
std::vector<std::string> TkArguments(const std::string &program, const char *script,
                                     int argc, char **argv);

// Finds the program's full path, builds the argument vector and runs Tk
// with `init` as its application initialisation. Never returns: Tk ends
// the process when the script exits or the last window is closed. A text
// thrown on the way ends in Panic.
[[noreturn]] void RunTkScript(int argc, char **argv, const char *script,
                              int (*init)(Tcl_Interp *));

// The common first steps of every program's TclInit: Tcl_Init, Tk_Init
// (a failure throws the Tcl result text), the static Tk package, and an
// exit procedure that ends the process at once, without running global
// destructors under a thread that may still be working.
void TkCommonInit(Tcl_Interp *interp);

// The whole main of a launcher (edit, help): runs the script with a
// TclInit that registers the launcher's GuiInit (which only sets the window
// icon, a no-op on this platform) and GuiGetOEMCP. Starts no interpreter.
[[noreturn]] void RunLauncher(int argc, char **argv, const char *script);

// Tcl command procedure shared by all programs: always fails with
// "function not implemented".
int GuiGetOEMCP(void *, Tcl_Interp *interp, int argc, const char *argv[]);

// Sets a static or volatile text as the command result; returns TCL_ERROR.
int TclFail(Tcl_Interp *interp, const char *text);

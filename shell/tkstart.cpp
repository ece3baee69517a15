// Start-up shared by tavex, edit and help.
#include "shell/tkstart.h"
#include "shell/datafile.h"
#include "shell/extent.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tcl.h>
#include <tk.h>
#include <unistd.h>

std::string ProgramDirectory(const std::string &program) {
    std::string path = program;
    for (char &c : path)
        if (c == '\\') c = '/';
    for (size_t i = path.size(); i-- > 1;)
        if (path[i] == '/') return path.substr(0, i + 1);
    return "";
}

std::vector<std::string> TkArguments(const std::string &program, const char *script,
                                     int argc, char **argv) {
    std::string path = program;
    for (char &c : path)
        if (c == '\\') c = '/';
    std::vector<std::string> args{path, DataFile(ProgramDirectory(path), script)};
    for (int i = 1; i < argc; i++) args.emplace_back(argv[i]);
    return args;
}

// Writing the buffered output of both threads is all the clean-up a
// process needs: the thread is never joined and nothing else is pending.
[[noreturn]] static void ExitNow(void *status) {
    fflush(nullptr);
    _exit(static_cast<int>(reinterpret_cast<intptr_t>(status)));
}

void TkCommonInit(Tcl_Interp *interp) {
    if (Tcl_Init(interp) == TCL_ERROR) throw Tcl_GetStringResult(interp);
    if (Tk_Init(interp) == TCL_ERROR) throw Tcl_GetStringResult(interp);
    Tcl_StaticPackage(interp, "Tk", Tk_Init, Tk_SafeInit);
    Tcl_SetExitProc(ExitNow);
}

int TclFail(Tcl_Interp *interp, const char *text) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(text, -1));
    return TCL_ERROR;
}

int GuiGetOEMCP(void *, Tcl_Interp *interp, int, const char *[]) {
    return TclFail(interp, "function not implemented");
}

void RunTkScript(int argc, char **argv, const char *script, int (*init)(Tcl_Interp *)) {
    try {
        Tcl_FindExecutable(argv[0]);
        const char *name = Tcl_GetNameOfExecutable();
        if (!name || !*name)
            Panic("can't find complet name of executable    \n"
                  "perhaps you did use '~/' in your path name    \n"
                  "this is not a good idea\n");
        std::vector<std::string> args = TkArguments(name, script, argc, argv);
        // Tk keeps pointers into the vector for the life of the process.
        char **vector = static_cast<char **>(calloc(args.size() + 1, sizeof(char *)));
        if (!vector) throw "error: malloc";
        for (size_t i = 0; i < args.size(); i++)
            if (!(vector[i] = strdup(args[i].c_str()))) throw "error: strdup";
        Tcl_SetPanicProc(Panic);
        setlocale(LC_ALL, "C");
        Tcl_Interp *interp = Tcl_CreateInterp();
        Tk_MainEx(static_cast<int>(args.size()), vector, init, interp);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
    // Tk_MainEx ends the process itself; should it ever return, end here.
    ExitNow(nullptr);
}

// ---------------------------------------------------------------- launchers
// A launcher's script calls GuiInit like the workstation's does; here it
// only sets the window icon.
static int LauncherGuiInit(void *, Tcl_Interp *interp, int, const char *[]) {
    SetIcon(interp, ".tMain", "MAIN_ICON");
    return TCL_OK;
}

static int LauncherTclInit(Tcl_Interp *interp) {
    try {
        TkCommonInit(interp);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
    Tcl_CreateCommand(interp, "GuiInit", LauncherGuiInit, nullptr, nullptr);
    Tcl_CreateCommand(interp, "GuiGetOEMCP", GuiGetOEMCP, nullptr, nullptr);
    return TCL_OK;
}

void RunLauncher(int argc, char **argv, const char *script) {
    RunTkScript(argc, argv, script, LauncherTclInit);
}

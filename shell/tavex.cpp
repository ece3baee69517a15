// tavex: the workstation. The main thread runs Tk with the GUI script
// disp/tavex.tcl (found by DataFile, datafile.h); the script builds the windows and calls GuiInit,
// which starts the interpreter thread. From then on the two threads only
// exchange framed messages over PipeOut (the interpreter's requests) and
// PipeIn (replies and the user's own requests), see msgframe.h. This unit
// holds the GUI side: the Tcl commands the script calls, the event source
// that turns waiting requests into Tcl events, and the request dispatcher.
#include "shell/consoletext.h"
#include "shell/disppaint.h"
#include "shell/extent.h"
#include "shell/frontend.h"
#include "image/tvhooks.h"
#include "interp/ks.h"
#include "shell/msgframe.h"
#include "shell/tkstart.h"

#include <X11/Xlib.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <tcl.h>
#include <tk.h>
#include <unistd.h>

Tcl_Interp *Interp = nullptr;
static pthread_t Thread;

// Console text travels as bytes: what the user types or pastes goes to the
// interpreter in UTF-8, and output is shown as UTF-8 where its bytes form
// valid sequences, byte by byte as ISO 8859-1 elsewhere (consoletext.h).
static Tcl_Encoding Utf8 = nullptr;
static utf8decoder Output;

// ------------------------------------------------------------ small helpers

static void reply(int type, const void *data = nullptr, int size = 0) {
    WriteMessage(type, data, size);
}

static void reply_text(int type, const char *text) {
    reply(type, text, int(strlen(text)) + 1);
}

static void eval(const char *command) {
    if (Tcl_Eval(Interp, command) != TCL_OK) throw Tcl_GetStringResult(Interp);
}

// The bytes of a Tcl string in the console's byte encoding.
static std::string console_bytes(const char *utf) {
    Tcl_DString ds;
    Tcl_UtfToExternalDString(Utf8, utf, -1, &ds);
    std::string bytes(Tcl_DStringValue(&ds), Tcl_DStringLength(&ds));
    Tcl_DStringFree(&ds);
    return bytes;
}

// ------------------------------------------------------------ the requests

// Console output reaches the script without going through the Tcl parser,
// so that every character (quotes, brackets, NUL) arrives as itself and the
// hot path costs no parsing: one character as the argument of
// Text:WriteChar, a run of them as the argument of Text:WriteText.
static void show_output(const std::u16string &text) {
    static Tcl_Obj *procs[2] = {nullptr, nullptr};
    if (text.empty()) return;
    int which = text.size() == 1 ? 0 : 1;
    if (!procs[which]) {
        procs[which] = Tcl_NewStringObj(which == 0 ? "Text:WriteChar" : "Text:WriteText", -1);
        Tcl_IncrRefCount(procs[which]);
    }
    static_assert(sizeof(Tcl_UniChar) == sizeof(char16_t));
    std::basic_string<Tcl_UniChar> chars(text.begin(), text.end());
    Tcl_Obj *objv[2] = {procs[which], Tcl_NewUnicodeObj(chars.data(), int(chars.size()))};
    Tcl_IncrRefCount(objv[1]);
    int status = Tcl_EvalObjv(Interp, 2, objv, TCL_EVAL_GLOBAL);
    Tcl_DecrRefCount(objv[1]);
    if (status != TCL_OK) throw Tcl_GetStringResult(Interp);
}

// The bytes of a write-character (its code, a 4-byte int) or write-text
// message.
static void write_bytes(const unsigned char *bytes, int size) {
    std::u16string text;
    utf8decode(Output, bytes, size, text);
    show_output(text);
}

// A sequence cut short by something other than more output is shown as
// the bytes it holds: output only waits between two output messages.
static void release_output() {
    std::u16string text;
    utf8release(Output, text);
    show_output(text);
}

static void show_frames(const char *data) {
    int f[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    sscanf(data, "%d %d %d %d %d %d %d %d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6],
           &f[7]);
    Ifx = f[0], Ify = f[1], Ifw = f[2], Ifh = f[3];
    Mfx = f[4], Mfy = f[5], Mfw = f[6], Mfh = f[7];
    char command[256];
    snprintf(command, sizeof command,
             ".tMain.fInfo.lIFrame configure -text \"%d %d %d %d\"\n"
             "                   .tMain.fInfo.lMFrame configure -text \"%d %d %d %d\"\n",
             Ifx, Ify, Ifw, Ifh, Mfx, Mfy, Mfw, Mfh);
    eval(command);
}

// The script's call for a mouse request: Display:GetMouse with the shape
// being picked when the request names one (a plain lower-case word).
static std::string mouse_request(const char *shape) {
    std::string command = "Display:GetMouse";
    size_t n = strlen(shape);
    if (n > 0 && n < 16 && strspn(shape, "abcdefghijklmnopqrstuvwxyz") == n)
        command.append(" ").append(shape);
    return command;
}

// Carries out one request of the interpreter. True when it was answered at
// once; false when the answer waits for the user (line, key, mouse) or the
// request failed (the failure is sent back as an abort).
static bool serve_request() {
    char data[MSG_MAX + 1];
    int type = 0, room = MSG_MAX;
    try {
        ReadMessage(&type, data, &room);
        data[room] = '\0';
        if (type != MSG_WRITECHAR && type != MSG_WRITETEXT) release_output();
        switch (type) {
        case MSG_EXECUTE: {
            std::string command = DoubleBackslashes(data, room);
            eval(command.c_str());
            reply_text(MSG_EXECUTE, Tcl_GetStringResult(Interp));
            return true;
        }
        case MSG_FLUSH:
            // The rest of a long line being sent in pieces is dropped too.
            Tcl_Eval(Interp, "catch Text:DropInput");
            reply(MSG_FLUSH);
            return true;
        case MSG_WRITECHAR:
            // Acknowledged first, so that the interpreter prepares the next
            // character while this one is handed to the script; a failure of
            // the script still reaches it, as the abort that answers its
            // next request.
            reply(MSG_WRITECHAR);
            {
                int code = 0;
                memcpy(&code, data, room < int(sizeof code) ? room : sizeof code);
                unsigned char byte = static_cast<unsigned char>(code);
                write_bytes(&byte, 1);
            }
            return true;
        case MSG_WRITETEXT:
            reply(MSG_WRITETEXT);   // first, as for a single character
            write_bytes(reinterpret_cast<const unsigned char *>(data), room);
            return true;
        case MSG_READLINE:
            eval("Text:ReadLine");
            return false;
        case MSG_GETKEY:
            eval("Text:GetKey");
            return false;
        case MSG_PAINT:
            DispPaint();
            // Lets the script refresh what shows the picture elsewhere.
            Tcl_Eval(Interp, "catch Display:Painted");
            reply(MSG_PAINT);
            return true;
        case MSG_PAINTLUT:
            LutPaint();
            reply(MSG_PAINTLUT);
            return true;
        case MSG_FRAMES:
            show_frames(data);
            reply(MSG_FRAMES);
            return true;
        case MSG_MOUSE:
            eval(mouse_request(data).c_str());
            return false;
        default:
            throw "unkown pipe command";
        }
    } catch (const char *text) {
        reply_text(MSG_ABORT, text);
        return false;
    }
}

// ------------------------------------------------------------ event source

// At most one pipe event waits in Tcl's queue at a time.
static bool EventQueued = false;

// A request is carried out per event; requests that are answered at once
// and followed quickly by the next one (console output comes as one request
// per character) are carried out in the same event for up to a time slice,
// so that printing does not pay an event-loop round trip per character.
// The slice keeps the windows responsive meanwhile.
static int PipeEvent(Tcl_Event *, int flags) {
    if (!(flags & TCL_FILE_EVENTS)) return 0;
    EventQueued = false;
    const auto start = std::chrono::steady_clock::now();
    constexpr auto slice = std::chrono::milliseconds(20);
    while (serve_request() && SpinUntilNotEmpty(PipeOut) &&
           std::chrono::steady_clock::now() - start < slice) {
    }
    return 1;
}

static void SetupProc(void *, int flags) {
    if (!(flags & TCL_FILE_EVENTS)) return;
    Tcl_Time block = {0, EmptyPipe(PipeOut) ? 250000 : 0};
    Tcl_SetMaxBlockTime(&block);
}

static void CheckProc(void *, int flags) {
    if (!(flags & TCL_FILE_EVENTS) || EventQueued || EmptyPipe(PipeOut)) return;
    Tcl_Event *event = reinterpret_cast<Tcl_Event *>(Tcl_Alloc(sizeof(Tcl_Event)));
    event->proc = PipeEvent;
    event->nextPtr = nullptr;
    EventQueued = true;
    Tcl_QueueEvent(event, TCL_QUEUE_TAIL);
}

// ------------------------------------------------------------ Tcl commands

static void InterpreterThread(const char *arglist) {
    RunInterpreter(arglist);
    fflush(nullptr);
    _exit(0);
}

static int GuiInit(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc != 2) return TclFail(interp, "syntax: GuiInit arglist");
    SetIcon(interp, ".tMain", "MAIN_ICON");
    try {
        CreateThread(InterpreterThread, argv[1], &Thread);
    } catch (const char *text) {
        return TclFail(interp, text);
    }
    return TCL_OK;
}

static int GuiReadLine(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc != 2) return TclFail(interp, "syntax: GuiReadLine str");
    std::string line = console_bytes(argv[1]);
    reply(MSG_READLINE, line.data(), int(line.size()));
    return TCL_OK;
}

static int GuiGetKey(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int code;
    if (argc != 2 || sscanf(argv[1], "%d", &code) != 1)
        return TclFail(interp, "syntax: GuiGetKey char");
    code &= 255;
    reply(MSG_GETKEY, &code, sizeof code);
    return TCL_OK;
}

static int GuiGetMouse(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc != 4) return TclFail(interp, "syntax: GuiGetMouse button x y");
    char text[MSG_MAX];
    snprintf(text, sizeof text, "%s %s %s", argv[1], argv[2], argv[3]);
    reply_text(MSG_MOUSE, text);
    return TCL_OK;
}

static int GuiExecute(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc != 2) return TclFail(interp, "syntax: GuiExecute str");
    std::string line = console_bytes(argv[1]);
    reply(MSG_COMMAND, line.c_str(), int(line.size()) + 1);
    return TCL_OK;
}

static int GuiBreak(void *, Tcl_Interp *, int, const char *[]) {
    SendUserRequest(MSG_BREAK);
    return TCL_OK;
}

static int GuiContinue(void *, Tcl_Interp *, int, const char *[]) {
    SendUserRequest(MSG_CONTINUE);
    return TCL_OK;
}

static int GuiTopLevel(void *, Tcl_Interp *, int, const char *[]) {
    SendUserRequest(MSG_TOPLEVEL);
    return TCL_OK;
}

static int GuiSystem(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    if (argc != 2) return TclFail(interp, "syntax: GuiSystem str");
    if (system(argv[1]) != 0) return TclFail(interp, "can't create process");
    return TCL_OK;
}

static int GuiShiftMouse(void *, Tcl_Interp *interp, int argc, const char *argv[]) {
    int dx, dy;
    if (argc != 3 || sscanf(argv[1], "%d", &dx) != 1 || sscanf(argv[2], "%d", &dy) != 1)
        return TclFail(interp, "syntax: GuiShiftMouse dx dy");
    Tk_Window main = Tk_MainWindow(interp);
    if (main) {
        Display *display = Tk_Display(main);
        XWarpPointer(display, None, None, 0, 0, 0, 0, dx, dy);
        XFlush(display);
    }
    return TCL_OK;
}

// ------------------------------------------------------------ start-up

static int TclInit(Tcl_Interp *interp) {
    try {
        TkCommonInit(interp);
        Interp = interp;
        Utf8 = Tcl_GetEncoding(interp, "utf-8");
        struct command {
            const char *name;
            Tcl_CmdProc *proc;
        };
        static const command commands[] = {
            {"GuiInit", GuiInit},
            {"GuiReadLine", GuiReadLine},
            {"GuiGetKey", GuiGetKey},
            {"GuiTopLevel", GuiTopLevel},
            {"GuiBreak", GuiBreak},
            {"GuiContinue", GuiContinue},
            {"GuiSystem", GuiSystem},
            {"GuiExecute", GuiExecute},
            {"GuiGetOEMCP", GuiGetOEMCP},
            {"GuiGetMouse", GuiGetMouse},
            {"GuiDispConfigure", GuiDispConfigure},
            {"GuiLutConfigure", GuiLutConfigure},
            {"GuiMaxPaint", GuiMaxPaint},
            {"GuiDispValue", GuiDispValue},
            {"GuiDispView", GuiDispView},
            {"GuiDispPan", GuiDispPan},
            {"GuiShiftMouse", GuiShiftMouse},
        };
        for (const command &c : commands)
            Tcl_CreateCommand(interp, c.name, c.proc, nullptr, nullptr);
        LinkDisplayVariables(interp);
        CreateMessagePipes();
        CreateNotifier();
        Tcl_CreateEventSource(SetupProc, CheckProc, nullptr);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
    return TCL_OK;
}

int main(int argc, char **argv) { RunTkScript(argc, argv, "disp/tavex.tcl", TclInit); }

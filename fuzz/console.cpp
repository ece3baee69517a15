// Fuzz target: the reader and the evaluator. Each input is typed, line by
// line, into the console's read-eval-print loop (ksconsole) of an
// interpreter that a front-end thread here serves like tavex-cli does:
// console output is dropped, a Tcl command answers "", a key is the end of
// input, a mouse click is the next input line.
//
// The output streams are NIL: printing is done, its characters dropped.
// Every input starts from a clean interpreter: a new symbol table,
// readtable, classes and built-ins (ksreinit), the frames of start-up;
// everything the previous input made is collected, its images with it
// (the displayed image stays displayed). Inputs are at
// most LONGEST_INPUT bytes, and evaluation is abandoned after POLL_BUDGET polls
// (one per 50 evaluations, and one per 65536 steps of a long walk).
// Functions that would end the process, sleep, load camera modules, keep a
// transcript or change the heap's or the poll's settings are unbound.
#include "image/intern.h"
#include "image/tvhooks.h"
#include "interp/ks.h"
#include "shell/msgframe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>


namespace {

constexpr size_t LONGEST_INPUT = 4096;
constexpr int64_t POLL_BUDGET = 100;

// The input being typed; read by the front-end thread only while the
// interpreter waits for its reply.
const char *Input;
size_t InputLeft;

// The next line (at most MSG_MAX bytes, with its newline), or "" at the end.
std::string next_line() {
    size_t n = 0;
    while (n < InputLeft && n < MSG_MAX && Input[n] != '\n') ++n;
    if (n < InputLeft && n < MSG_MAX) ++n;   // the newline goes with it
    std::string line(Input, n);
    Input += n;
    InputLeft -= n;
    if (!line.empty() && line.back() != '\n' && InputLeft == 0 && line.size() < MSG_MAX)
        line += '\n';   // a last line without its newline
    return line;
}

void answer(int type, const char *data, int size) {
    switch (type) {
    case MSG_EXECUTE:
        WriteMessage(MSG_EXECUTE, "", 1);
        break;
    case MSG_READLINE: {
        std::string line = next_line();
        if (line.empty()) line = "\xff";
        WriteMessage(MSG_READLINE, line.data(), int(line.size()));
        break;
    }
    case MSG_GETKEY: {
        int code = 255;
        WriteMessage(MSG_GETKEY, &code, sizeof code);
        break;
    }
    case MSG_MOUSE: {
        std::string line = next_line();
        if (line.empty()) {
            static const char text[] = "end of input";
            WriteMessage(MSG_ABORT, text, sizeof text);
            break;
        }
        line.back() = '\0';
        WriteMessage(MSG_MOUSE, line.c_str(), int(line.size()));
        break;
    }
    case MSG_FLUSH: case MSG_WRITECHAR: case MSG_WRITETEXT: case MSG_PAINT: case MSG_PAINTLUT:
    case MSG_FRAMES:
        WriteMessage(type, nullptr, 0);
        break;
    default: {
        static const char text[] = "unkown pipe command";
        WriteMessage(MSG_ABORT, text, sizeof text);
    }
    }
    (void)data;
    (void)size;
}

void frontend() {
    static char data[MSG_MAX + 1];
    for (;;) {
        int type = 0, room = MSG_MAX;
        ReadMessage(&type, data, &room);
        data[room] = '\0';
        answer(type, data, room);
    }
}

void unbind(const char *name) { setfunction(ksenter(name), s_unbound); }

node **BaseStack;   // the evaluation stack as start-up leaves it

// A clean interpreter; what the last input made is garbage. The image
// store is cleared by the collection, and its frames are set back.
void fresh_interpreter() {
    ospollbudget = -1;
    ksstack = BaseStack;
    ksfp = ksargstkbase;
    kssp = ksargstkbase + 1;
    ksenv = ksfenv = ksdenv = ksvalue = NIL;
    kspinned = NIL;
    ksreinit();
    gc();
    frames(0, 0, 256, 256);
    for (const char *name : {"EXIT", "SLEEP", "CAMINIT", "DRIBBLE", "EXPAND", "ALLOC", "CHECK"})
        unbind(name);
    kspinsymbols();
    // Console output is printed and dropped here rather than sent character
    // by character to the front end, which is many times slower.
    setvalue(s_stdout, NIL);
    setvalue(s_stderr, NIL);
    setvalue(s_debugio, NIL);
    setvalue(s_traceout, NIL);
    CheckFreq = 50;
    kssample = CheckFreq;
}

char Dir[] = "/tmp/tavex-fuzz-console-XXXXXX";   // files the inputs write

void start() {
    if (!mkdtemp(Dir) || chdir(Dir) != 0) abort();
    atexit([] { std::error_code e; std::filesystem::remove_all(Dir, e); });
    CreateMessagePipes();
    std::thread(frontend).detach();
    tvregister();
    ksinit();
    ksimage.init();
    kspinsymbols();
    // The symbols of start-up stay for good: the image library keeps some
    // of them (display keywords) where a new table does not reach.
    static node first = kspinned;
    kspush(&first);
    BaseStack = ksstack;
    ksinitok = 1;
}

}  // namespace

// A huge vector or string is refused as the interpreter refuses it when
// memory runs out, instead of counting as a fault of the fuzzer's limits.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool started = false;
    if (!started) {
        start();
        started = true;
    }
    if (size > LONGEST_INPUT) return 0;
    fresh_interpreter();
    Input = reinterpret_cast<const char *>(data);
    InputLeft = size;
    ospollbudget = POLL_BUDGET;
    context top;
    ksbegin(&top, CTX_TOPLEVEL | CTX_CLEANUP | CTX_BRKLEVEL, s_true);
    ksconsole(&top);
    ksend(&top);
    ospollbudget = -1;
    return 0;
}

// tavex-cli: the headless front end. It starts the interpreter thread exactly
// as the GUI does and answers its requests from the terminal: console
// characters go to standard output, input lines and keys come from standard
// input, Tcl commands are evaluated by an embedded plain Tcl interpreter
// (no Tk), and Ctrl-C sends the break request.
//
//   tavex-cli [--display-png FILE] [--batch] [--set NAME=VALUE ...]
//             [interpreter options and Lisp files]
//
// With --batch the files are a script run: standard input is never read
// and the exit status tells the outcome (ksbatch in ks.h).
#include "shell/extent.h"
#include "shell/frontend.h"
#include "shell/msgframe.h"
#include "image/tvhooks.h"
#include "interp/ks.h"
#include "shell/pngout.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/select.h>
#include <sys/stat.h>
#include <tcl.h>
#include <thread>
#include <unistd.h>
#include <vector>

// ------------------------------------------------------------ options

static const char *DisplayPng = nullptr;   // --display-png FILE

[[noreturn]] static void usage(const char *problem, const char *word) {
    fprintf(stderr, "tavex-cli: %s %s\n"
            "usage: tavex-cli [--display-png FILE] [--batch] [--set NAME=VALUE ...] "
            "[-xM<bytes>] [-xS] [-xT<file>] [-xV] [file.lsp ...]\n", problem, word);
    exit(2);
}

// --set NAME=VALUE: NAME is letters, digits, "-" and "_", so that *NAME*
// reads back as the symbol that holds VALUE.
static void preset(const char *setting) {
    const char *eq = strchr(setting, '=');
    if (!eq || eq == setting) usage("--set needs NAME=VALUE, not", setting);
    for (const char *p = setting; p < eq; p++)
        if (!isalnum(static_cast<unsigned char>(*p)) && *p != '-' && *p != '_')
            usage("--set NAME may hold letters, digits, - and _ only:", setting);
    kspreset(std::string(setting, eq).c_str(), eq + 1);
}

// A batch run fails before anything runs when a script cannot be read
// (named as the interpreter will open it, ".lsp" added).
static void check_script(const char *word) {
    std::string name = word;
    if (needsextension(word)) name += ".lsp";
    FILE *fp = fopen(name.c_str(), "r");
    struct stat st;
    const char *problem = nullptr;
    if (!fp)
        problem = strerror(errno);
    else if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode))
        problem = strerror(EISDIR);
    if (fp) fclose(fp);
    if (problem) {
        fprintf(stderr, "tavex-cli: can't open script %s: %s\n", name.c_str(), problem);
        exit(2);
    }
}

// Takes the front end's own "--" options out of argv and builds the
// interpreter's argument string (program name first) from the rest, each
// word quoted so that it arrives exactly as given.
static std::string parse_arguments(int argc, char **argv) {
    std::string args = QuoteWord(argv[0]);
    std::vector<const char *> scripts;   // the words the interpreter loads
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--display-png") == 0) {
            if (i + 1 >= argc) usage("missing file name after", argv[i]);
            DisplayPng = argv[++i];
        } else if (strcmp(argv[i], "--batch") == 0) {
            ksbatch = true;
        } else if (strcmp(argv[i], "--set") == 0) {
            if (i + 1 >= argc) usage("missing NAME=VALUE after", argv[i]);
            preset(argv[++i]);
        } else if (strncmp(argv[i], "--", 2) == 0) {
            usage("unknown option", argv[i]);
        } else {
            if (argv[i][0] != '-' && argv[i][0] != '\0') scripts.push_back(argv[i]);
            args += ' ';
            args += QuoteWord(argv[i]);
        }
    }
    if (ksbatch) {
        if (scripts.empty()) usage("no script to run with", "--batch");
        for (const char *s : scripts) check_script(s);
    }
    return args;
}

// ------------------------------------------------------------ console output

static bool AtLineStart = true;
static bool OutputPending = false;   // written but not flushed

static void flush_output() {
    if (OutputPending) fflush(stdout);
    OutputPending = false;
}

// Character 13 starts a new line unless the output is already at one.
static void write_console_char(int c) {
    if (c == '\r') {
        if (AtLineStart) return;
        c = '\n';
    }
    putc_unlocked(c, stdout);
    AtLineStart = c == '\n';
    OutputPending = true;
    if (AtLineStart) flush_output();
}

// ------------------------------------------------------------ console input

static std::string Input;          // bytes read from stdin, not yet handed out
static bool InputEof = false;
static bool MidLine = false;       // a piece of a line went out without its newline
static bool SkipLine = false;      // drop input up to the next newline

// Reads what standard input has now; sets InputEof at its end.
static void read_stdin() {
    char buf[65536];
    ssize_t n = read(0, buf, sizeof buf);
    if (n > 0)
        Input.append(buf, n);
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        InputEof = true;
}

// Drops input up to and including the next newline while SkipLine is set.
static void skip_rest_of_line() {
    if (!SkipLine) return;
    size_t nl = Input.find('\n');
    if (nl == std::string::npos) {
        Input.clear();
        if (InputEof) SkipLine = false;
    } else {
        Input.erase(0, nl + 1);
        SkipLine = false;
    }
}

// The next piece of the current line (at most MSG_MAX bytes, the newline
// with the last piece) or the single byte 255 at end of input. False when
// more input must be read first.
static bool next_line_piece(std::string *piece) {
    skip_rest_of_line();
    if (SkipLine) return false;
    size_t nl = Input.find('\n');
    size_t len;
    if (nl != std::string::npos && nl < MSG_MAX)
        len = nl + 1;
    else if (Input.size() >= MSG_MAX)
        len = MSG_MAX;
    else if (!InputEof)
        return false;
    else if (Input.empty()) {
        piece->assign(1, '\xff');
        return true;
    } else {
        Input += '\n';   // a last line without its newline
        len = Input.size();
    }
    piece->assign(Input, 0, len);
    Input.erase(0, len);
    MidLine = (*piece)[len - 1] != '\n';
    return true;
}

// A whole line for the mouse request, without its newline.
static bool next_whole_line(std::string *line, bool *eof) {
    skip_rest_of_line();
    if (SkipLine) return false;
    size_t nl = Input.find('\n');
    *eof = false;
    if (nl == std::string::npos) {
        if (!InputEof) return false;
        if (Input.empty()) {
            *eof = true;
            return true;
        }
        nl = Input.size();
        Input += '\n';
    }
    line->assign(Input, 0, nl);
    Input.erase(0, nl + 1);
    MidLine = false;
    return true;
}

// ------------------------------------------------------------ Tcl

// Made at the first command: a run that never calls EXECUTE (most batch
// runs) does without Tcl, whose start-up costs as much as the rest of ours.
static Tcl_Interp *Interp = nullptr;
static const char *Argv0 = nullptr;

static Tcl_Interp *tcl() {
    if (!Interp) {
        Tcl_FindExecutable(Argv0);
        Interp = Tcl_CreateInterp();
        // The library scripts are welcome but not needed for plain commands.
        Tcl_Init(Interp);
        Tcl_Eval(Interp, "proc Menu:Exit {} {}");
    }
    return Interp;
}

// Tcl writes through its own channels: they are flushed after each command
// so that its output keeps its place among the console characters.
static void flush_tcl_channels() {
    for (int which : {TCL_STDOUT, TCL_STDERR}) {
        Tcl_Channel channel = Tcl_GetStdChannel(which);
        if (channel) Tcl_Flush(channel);
    }
}

enum class cancel { none, once, unwound };
static void tcl_running(bool running);
static cancel tcl_cancelled();
static void send_break();

static void execute_tcl(const char *cmd, int size) {
    std::string command = DoubleBackslashes(cmd, size);
    flush_output();
    const char *result = "";
    // Without a Tcl interpreter yet, Menu:Exit is what its empty procedure
    // would be: a success with an empty result.
    if (Interp || command != "Menu:Exit") {
        tcl();
        tcl_running(true);
        int status = Tcl_Eval(Interp, command.c_str());
        tcl_running(false);
        flush_tcl_channels();
        switch (tcl_cancelled()) {
        case cancel::none:
            break;
        case cancel::once:
            // A cancel may come in just as the command ends: the next
            // evaluation would take it. This harmless one does.
            Tcl_Eval(Interp, "list");
            send_break();
            return;
        case cancel::unwound:
            // Tcl stays unwound for good: the next command makes a new one.
            Tcl_DeleteInterp(Interp);
            Interp = nullptr;
            send_break();
            return;
        }
        if (status == TCL_ERROR) throw Tcl_GetStringResult(Interp);
        result = Tcl_GetStringResult(Interp);
    }
    // Everything printed so far reaches the terminal before the reply, which
    // may be the last one ("Menu:Exit": the interpreter then ends the process).
    flush_output();
    WriteMessage(MSG_EXECUTE, result, int(strlen(result)) + 1);
}

// ------------------------------------------------------------ requests

// The request that waits for standard input (read line, key, mouse), or 0.
// Requests are strictly one at a time, so every new request replaces it.
static int Waiting = 0;

// Answers the waiting request from buffered input; false if more is needed.
static bool answer_waiting() {
    switch (Waiting) {
    case MSG_READLINE: {
        std::string piece;
        if (!next_line_piece(&piece)) return false;
        WriteMessage(MSG_READLINE, piece.data(), int(piece.size()));
        break;
    }
    case MSG_GETKEY: {
        skip_rest_of_line();
        if (SkipLine) return false;
        int code = 255;
        if (!Input.empty()) {
            code = static_cast<unsigned char>(Input[0]);
            Input.erase(0, 1);
        } else if (!InputEof) {
            return false;
        }
        WriteMessage(MSG_GETKEY, &code, sizeof code);
        break;
    }
    case MSG_MOUSE: {
        std::string line;
        bool eof;
        if (!next_whole_line(&line, &eof)) return false;
        if (eof) {
            // No click will ever come: abandon the evaluation; the next read
            // sees the end of input and the program ends.
            static const char text[] = "end of input";
            WriteMessage(MSG_ABORT, text, sizeof text);
        } else {
            if (line.size() >= MSG_MAX) line.resize(MSG_MAX - 1);
            WriteMessage(MSG_MOUSE, line.c_str(), int(line.size()) + 1);
        }
        break;
    }
    default:
        return false;
    }
    Waiting = 0;
    return true;
}

static void serve(int type, const char *data, int size) {
    Waiting = 0;
    switch (type) {
    case MSG_EXECUTE:
        execute_tcl(data, size);
        break;
    case MSG_FLUSH:
        if (MidLine) SkipLine = true;
        MidLine = false;
        WriteMessage(MSG_FLUSH, nullptr, 0);
        break;
    case MSG_WRITECHAR: {
        int c = 0;
        memcpy(&c, data, size < int(sizeof c) ? size : sizeof c);
        write_console_char(c & 255);
        WriteMessage(MSG_WRITECHAR, nullptr, 0);
        break;
    }
    case MSG_WRITETEXT:
        for (int i = 0; i < size; i++) write_console_char(static_cast<unsigned char>(data[i]));
        WriteMessage(MSG_WRITETEXT, nullptr, 0);
        break;
    case MSG_READLINE:
    case MSG_GETKEY:
    case MSG_MOUSE:
        flush_output();
        Waiting = type;
        answer_waiting();
        break;
    case MSG_PAINT:
        // With --display-png, the display picture is written to DisplayPng
        // as a PNG; a failure is reported and the paint still acknowledged.
        if (DisplayPng) {
            std::string failure = pngwritedisplay(DisplayPng);
            if (!failure.empty()) fprintf(stderr, "tavex-cli: %s\n", failure.c_str());
        }
        WriteMessage(MSG_PAINT, nullptr, 0);
        break;
    case MSG_PAINTLUT:
    case MSG_FRAMES:
        WriteMessage(type, nullptr, 0);
        break;
    default:
        throw "unkown pipe command";
    }
}

// Reads one request from PipeOut and answers it; a failure is answered
// with an abort message carrying its text.
static void serve_one() {
    static char data[MSG_MAX + 1];
    int type = 0;
    int room = MSG_MAX;
    try {
        ReadMessage(&type, data, &room);
        data[room] = '\0';
        serve(type, data, room);
    } catch (const char *text) {
        Waiting = 0;
        WriteMessage(MSG_ABORT, text, int(strlen(text)) + 1);
    }
}

// ------------------------------------------------------------ Ctrl-C

static int SignalPipe[2] = {-1, -1};

static void on_sigint(int) {
    int saved = errno;
    char b = 1;
    ssize_t r = write(SignalPipe[1], &b, 1);
    (void)r;
    errno = saved;
}

static void setup_sigint() {
    if (pipe(SignalPipe) != 0) Panic("error: can't create event\n");
    fcntl(SignalPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(SignalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
}

// One break per burst of Ctrl-C. It is dropped when PipeIn has no room for
// it, which only happens when many breaks are already waiting unread.
// The interpreter abandons whatever it waits for when it takes the break,
// so a waiting input request is not answered any more: input that arrives
// now is kept for the next request instead of being lost with this one.
static void send_break() {
    char drop[64];
    while (read(SignalPipe[0], drop, sizeof drop) > 0) {
    }
    if (SendUserRequest(MSG_BREAK)) Waiting = 0;
}

// A Tcl command may block for long ("after 30000", a long loop) while the
// main loop, which watches for Ctrl-C, waits for it. Meanwhile a watcher
// thread does that watching: on Ctrl-C it cancels the command
// (Tcl_CancelEval may be called from any thread) and leaves the signal
// bytes to send_break, which answers the request with the break (the
// interpreter, waiting for the reply, takes the break and never sees one).
// A script that catches the cancel is unwound 100 ms later; Tcl stays
// unwound after that, so the interpreter is made anew and loses what
// earlier commands defined. A command that waits for a child process
// ("exec sleep 60") ends only when the child does (at a terminal, Ctrl-C
// reaches the child too).
static std::mutex TclLock;
static std::condition_variable TclChanged;
static bool TclRunning = false;           // under TclLock
static cancel TclCancel = cancel::none;   // under TclLock

static void tcl_running(bool running) {
    std::lock_guard<std::mutex> lock(TclLock);
    TclRunning = running;
    if (running) TclCancel = cancel::none;
    TclChanged.notify_all();
}

static cancel tcl_cancelled() {
    std::lock_guard<std::mutex> lock(TclLock);
    return TclCancel;
}

static void watch_tcl() {
    std::unique_lock<std::mutex> lock(TclLock);
    for (;;) {
        TclChanged.wait(lock, [] { return TclRunning; });
        while (TclRunning) {
            lock.unlock();
            pollfd signal_bytes = {SignalPipe[0], POLLIN, 0};
            int ready = poll(&signal_bytes, 1, 100);
            lock.lock();
            if (ready <= 0 || !TclRunning) continue;
            bool again = TclCancel != cancel::none;
            TclCancel = again ? cancel::unwound : cancel::once;
            Tcl_CancelEval(Interp, nullptr, nullptr, again ? TCL_CANCEL_UNWIND : 0);
            TclChanged.wait_for(lock, std::chrono::milliseconds(100), [] { return !TclRunning; });
        }
    }
}

// ------------------------------------------------------------ main loop

static void interpreter_thread(const char *args) {
    RunInterpreter(args);
    exit(0);
}

[[noreturn]] static void serve_forever() {
    for (;;) {
        if (SpinUntilNotEmpty(PipeOut)) {
            serve_one();
            continue;
        }
        if (Waiting && answer_waiting()) continue;
        flush_output();
        fd_set set;
        FD_ZERO(&set);
        FD_SET(EventFd(PipeOut->event), &set);
        FD_SET(SignalPipe[0], &set);
        int top = EventFd(PipeOut->event) > SignalPipe[0] ? EventFd(PipeOut->event) : SignalPipe[0];
        bool want_input = Waiting && !InputEof;
        if (want_input) FD_SET(0, &set);
        if (select(top + 1, &set, nullptr, nullptr, nullptr) < 0) {
            // Interrupted by a signal: look again. Any other failure can only
            // come from standard input (closed, say): that is its end.
            if (errno != EINTR && want_input) InputEof = true;
            continue;
        }
        if (FD_ISSET(EventFd(PipeOut->event), &set)) ConsumeEvent(PipeOut->event);
        if (FD_ISSET(SignalPipe[0], &set)) send_break();
        if (want_input && FD_ISSET(0, &set)) read_stdin();
    }
}

// A closed standard descriptor would be taken by the first pipe made here;
// /dev/null stands in for it (a closed standard input reads as its end).
static void keep_standard_descriptors() {
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        int n = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (n >= 0 && n != fd) {
            dup2(n, fd);
            close(n);
        }
    }
}

int main(int argc, char **argv) {
    keep_standard_descriptors();
    std::string args = parse_arguments(argc, argv);
    InputEof = ksbatch;   // a batch run reads no standard input
    try {
        Argv0 = argv[0];
        CreateMessagePipes();
        CreateNotifier(false);
        setup_sigint();
        // Ctrl-C is taken by this thread only: the interpreter thread starts
        // with SIGINT blocked.
        sigset_t block, old;
        sigemptyset(&block);
        sigaddset(&block, SIGINT);
        pthread_sigmask(SIG_BLOCK, &block, &old);
        pthread_t thread;
        CreateThread(interpreter_thread, args.c_str(), &thread);
        std::thread(watch_tcl).detach();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
    serve_forever();
}

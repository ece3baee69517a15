// extent: clock, threads, events, notifier and inter-thread pipes on POSIX.
#include "shell/extent.h"

#include <cctype>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/select.h>
#include <sys/time.h>
#include <tcl.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
static inline void cpu_relax() { _mm_pause(); }
#else
static inline void cpu_relax() {}
#endif

// ------------------------------------------------------------ command lines

void cmd2argv(const char *cmd, int *argc, char ***argv) {
    char *work = strdup(cmd);
    if (!work) throw "error: strdup";
    char **vec = nullptr;
    int count = 0;
    char *p = work;
    while (*p) {
        char **grown = static_cast<char **>(realloc(vec, (count + 1) * sizeof(char *)));
        if (!grown) {
            free(vec);
            free(work);
            throw "error: realloc";
        }
        vec = grown;
        bool quoted = *p == '"';
        if (quoted) p++;
        vec[count++] = p;             // the word's start in the work copy
        if (quoted) {
            // Unescaped in place: q trails p by the backslashes dropped.
            char *q = p;
            while (*p && *p != '"') {
                if (*p == '\\' && (p[1] == '"' || p[1] == '\\')) p++;
                *q++ = *p++;
            }
            if (*p) p++;
            *q = '\0';
        } else {
            while (*p && !isspace(static_cast<unsigned char>(*p)) && *p != '"') p++;
            if (*p) *p++ = '\0';
        }
        while (*p && isspace(static_cast<unsigned char>(*p))) p++;
    }
    // Replace the pointers into the work copy by words of their own.
    for (int i = 0; i < count; i++) {
        char *w = strdup(vec[i]);
        if (!w) {
            for (int j = 0; j < i; j++) free(vec[j]);
            free(vec);
            free(work);
            throw "error: strdup";
        }
        vec[i] = w;
    }
    free(work);
    *argc = count;
    *argv = vec;
}

std::string QuoteWord(const char *word) {
    bool plain = *word != '\0';
    for (const char *p = word; *p; p++)
        if (isspace(static_cast<unsigned char>(*p)) || *p == '"') plain = false;
    if (plain) return word;
    std::string out = "\"";
    for (const char *p = word; *p; p++) {
        if (*p == '"' || *p == '\\') out += '\\';
        out += *p;
    }
    return out + '"';
}

void FreeArgv(int argc, char **argv) {
    for (int i = 0; i < argc; i++) free(argv[i]);
    free(argv);
}

void SetIcon(Tcl_Interp *, const char *, const char *) {}
void CreateConsole(Tcl_Interp *) {}

void Panic(const char *format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    fputs(text, stderr);
    fflush(stderr);
    exit(-1);
}

// ------------------------------------------------------------------ threads

ThreadEntry FunctionToCall = nullptr;

static void *threadfct(void *arg) {
    char *text = static_cast<char *>(arg);
    ThreadEntry entry = FunctionToCall;
    entry(text);
    free(text);
    return nullptr;
}

void CreateThread(ThreadEntry entry, const char *arg, pthread_t *thread) {
    char *copy = strdup(arg ? arg : "");
    if (!copy) throw "error: create thread";
    FunctionToCall = entry;
    pthread_attr_t attr;
    bool ok = pthread_attr_init(&attr) == 0;
    if (ok) ok = pthread_attr_setstacksize(&attr, THREAD_STACK_SIZE) == 0;
    if (ok) ok = pthread_create(thread, &attr, threadfct, copy) == 0;
    pthread_attr_destroy(&attr);
    if (!ok) {
        free(copy);
        throw "error: create thread";
    }
}

int WaitEndThread(pthread_t thread) {
    if (pthread_join(thread, nullptr) != 0) throw "error: can't terminate";
    return 0;
}

// ------------------------------------------------------------------- events

static bool make_nonblocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

EVENT *CreateEvent() {
    EVENT *ev = new EVENT;
    ev->pending.store(false);
    if (pipe(ev->fd) != 0) {
        delete ev;
        throw "error: can't create event";
    }
    if (!make_nonblocking(ev->fd[0]) || !make_nonblocking(ev->fd[1])) {
        close(ev->fd[0]);
        close(ev->fd[1]);
        delete ev;
        throw "error: can't create event";
    }
    return ev;
}

void DeleteEvent(EVENT *ev) {
    if (!ev) return;
    close(ev->fd[0]);
    close(ev->fd[1]);
    delete ev;
}

// A signal writes a byte only when none is known to be pending. The flag is
// exchanged (read-modify-write), so a waiter that clears it after draining
// the pipe synchronises with every signal that skipped its write and then
// sees the data written before that signal.
void SetEvent(EVENT *ev) {
    if (ev->pending.exchange(true, std::memory_order_acq_rel)) return;
    char zero = 0;
    ssize_t r = write(ev->fd[1], &zero, 1);
    (void)r;   // a full pipe already holds a wake-up byte
}

// Drains the wake-up bytes first, then clears the flag: a signal arriving in
// between either finds the flag still set (and its data is seen by the
// waiter, which looks again after this call) or writes a new byte.
void ConsumeEvent(EVENT *ev) {
    char drop[16];
    while (read(ev->fd[0], drop, sizeof drop) == static_cast<ssize_t>(sizeof drop)) {
    }
    ev->pending.exchange(false, std::memory_order_acq_rel);
}

bool WaitForEvent(EVENT *ev, int timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ev->fd[0], &set);
    struct timeval tv;
    tv.tv_sec = timeout_ms / 1000;
    tv.tv_usec = (timeout_ms % 1000) * 1000;
    int n = select(ev->fd[0] + 1, &set, nullptr, nullptr, &tv);
    if (n == 0) return false;
    ConsumeEvent(ev);   // also after an interrupted select: the caller looks again
    return true;
}

// ----------------------------------------------------------------- notifier

EVENT *NotifyPipe = nullptr;
static bool notifier_in_tcl = false;

static void NotifyEvent(void *, int) { ConsumeEvent(NotifyPipe); }

void CreateNotifier(bool with_tcl_handler) {
    try {
        NotifyPipe = CreateEvent();
    } catch (const char *) {
        throw "error: can't create notifier";
    }
    notifier_in_tcl = with_tcl_handler;
    if (with_tcl_handler)
        Tcl_CreateFileHandler(NotifyPipe->fd[0], TCL_READABLE, NotifyEvent, nullptr);
}

void Notify() {
    if (NotifyPipe) SetEvent(NotifyPipe);
}

void DeleteNotifier() {
    if (!NotifyPipe) return;
    if (notifier_in_tcl) Tcl_DeleteFileHandler(NotifyPipe->fd[0]);
    DeleteEvent(NotifyPipe);
    NotifyPipe = nullptr;
}

// -------------------------------------------------------------------- pipes

// A ring of one byte could never hold data (a writer would wait forever),
// so the smallest pipe has two bytes.
PIPE *CreatePipe(int size) {
    if (size < 2) throw "error: CreatePipe";
    PIPE *p = new PIPE;
    p->rd.store(0);
    p->wr.store(0);
    p->size = size;
    try {
        p->event = CreateEvent();
    } catch (const char *) {
        delete p;
        throw;
    }
    p->buffer = new char[size];
    return p;
}

void DeletePipe(PIPE *p) {
    if (!p) return;
    DeleteEvent(p->event);
    delete[] p->buffer;
    delete p;
}

bool EmptyPipe(const PIPE *p) {
    return p->rd.load(std::memory_order_acquire) == p->wr.load(std::memory_order_acquire);
}

bool FullPipe(const PIPE *p) {
    return (p->wr.load(std::memory_order_acquire) + 1) % p->size ==
           p->rd.load(std::memory_order_acquire);
}

// How long a waiting side spins before it sleeps in the system.
static constexpr auto SPIN_TIME = std::chrono::microseconds(50);

// Waits while `ready()` is false, at most SPIN_TIME; returns ready(). The
// first few dozen checks only pause the processor (the other side is
// usually running on the other core and answers within a microsecond);
// after that each check yields, so that a partner thread waiting for the
// same core gets to run at once.
template <class F>
static bool spin_until(F ready) {
    for (int i = 0; i < 32; i++) {
        if (ready()) return true;
        cpu_relax();
    }
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        sched_yield();
        for (int i = 0; i < 16; i++) {
            if (ready()) return true;
            cpu_relax();
        }
        if (std::chrono::steady_clock::now() - start > SPIN_TIME) return ready();
    }
}

bool SpinUntilNotEmpty(const PIPE *p) {
    return spin_until([p] { return !EmptyPipe(p); });
}

void ReadPipe(PIPE *p, void *buffer, int n) {
    char *out = static_cast<char *>(buffer);
    int rd = p->rd.load(std::memory_order_relaxed);
    while (n > 0) {
        int wr = p->wr.load(std::memory_order_acquire);
        if (wr == rd) {
            if (!SpinUntilNotEmpty(p)) WaitForEvent(p->event, 250);
            continue;
        }
        // Copy the contiguous run of available bytes, then free the slots.
        int run = (wr > rd ? wr : p->size) - rd;
        if (run > n) run = n;
        memcpy(out, p->buffer + rd, run);
        out += run;
        n -= run;
        rd = (rd + run) % p->size;
        p->rd.store(rd, std::memory_order_release);
    }
}

void WritePipe(PIPE *p, const void *bytes, int n) {
    const char *in = static_cast<const char *>(bytes);
    int wr = p->wr.load(std::memory_order_relaxed);
    bool unsignalled = false;     // bytes written since the last signal
    useconds_t backoff = 100;
    while (n > 0) {
        int rd = p->rd.load(std::memory_order_acquire);
        int room = (rd - wr - 1 + p->size) % p->size;
        if (room == 0) {
            // Full: wake the reader for what is there, then wait for space,
            // spinning first and then sleeping up to 10 ms at a time.
            if (unsignalled) SetEvent(p->event), unsignalled = false;
            if (!spin_until([p] { return !FullPipe(p); })) {
                usleep(backoff);
                if (backoff < 10000) backoff *= 2;
            }
            continue;
        }
        backoff = 100;
        int run = (wr >= rd ? p->size - wr : rd - 1 - wr);
        if (run > room) run = room;
        if (run > n) run = n;
        memcpy(p->buffer + wr, in, run);
        in += run;
        n -= run;
        wr = (wr + run) % p->size;
        p->wr.store(wr, std::memory_order_release);
        unsignalled = true;
    }
    SetEvent(p->event);
}

void FlushPipe(PIPE *p) {
    p->rd.store(p->wr.load(std::memory_order_acquire), std::memory_order_release);
}

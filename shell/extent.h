// extent: the small portability layer shared by the programs of Tavex.
// Thread start and join, auto-reset events made of operating-system pipes,
// the notifier that wakes the front end's event loop, and PIPE, a one-way
// byte ring between exactly two threads (the clock and sleep: clock.h).
//
// Every failure is thrown as a `const char*` message text.
#pragma once

#include "image/clock.h"

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <string>

struct Tcl_Interp;

// ------------------------------------------------------------ command lines
// Splits a command line into words: words are separated by white space, a
// word in double quotes may contain blanks, and inside the quotes a
// backslash before a double quote or a backslash makes that character
// literal (any other backslash is itself).
// The vector and every word are allocated with malloc and owned by the
// caller (FreeArgv releases them).
void cmd2argv(const char *cmd, int *argc, char ***argv);
void FreeArgv(int argc, char **argv);
// The word as cmd2argv reads it back exactly: quoted and escaped when it is
// empty or holds white space or a double quote, unchanged otherwise.
std::string QuoteWord(const char *word);

// Window decoration hooks that have nothing to do on this platform.
void SetIcon(Tcl_Interp *interp, const char *window, const char *icon);
void CreateConsole(Tcl_Interp *interp);

// Formats the message, writes it to standard error, exits with status 255.
[[noreturn]] void Panic(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

// ------------------------------------------------------------------ threads
typedef void (*ThreadEntry)(const char *arg);
extern ThreadEntry FunctionToCall;

// Starts `entry` on a new thread with its own copy of `arg`. The thread gets
// a 512 MB stack: the interpreter recurses deeply in the reader, printer and
// evaluator, and sanitizer builds use large frames.
void CreateThread(ThreadEntry entry, const char *arg, pthread_t *thread);
int WaitEndThread(pthread_t thread);
enum : size_t { THREAD_STACK_SIZE = size_t(512) << 20 };

// ------------------------------------------------------------------- events
// An auto-reset event: an operating-system pipe whose read end becomes
// readable when the event is signalled. `pending` is set while a wake-up
// byte is known to be in the pipe, so repeated signals skip the write.
struct EVENT {
    int fd[2];                    // read end, write end (both non-blocking)
    std::atomic<bool> pending;
};

EVENT *CreateEvent();
void DeleteEvent(EVENT *ev);
void SetEvent(EVENT *ev);
// Waits until the event is signalled or `timeout_ms` passes; false only on
// a time-out. Consumes the signal.
bool WaitForEvent(EVENT *ev, int timeout_ms);
// The descriptor to put into a select set, and the call that consumes the
// signal after select reported it readable.
inline int EventFd(const EVENT *ev) { return ev->fd[0]; }
void ConsumeEvent(EVENT *ev);

// ----------------------------------------------------------------- notifier
// One process-wide event whose signal wakes the front end. The GUI registers
// its read end as a Tcl file handler; the headless console selects on it.
extern EVENT *NotifyPipe;
void CreateNotifier(bool with_tcl_handler = true);
void Notify();
void DeleteNotifier();

// -------------------------------------------------------------------- pipes
// A one-way byte ring between one writer thread and one reader thread.
// Empty when rd == wr, full when (wr + 1) % size == rd: holds size - 1 bytes.
// rd is stored only by the reader, wr only by the writer.
struct PIPE {
    std::atomic<int> rd;
    std::atomic<int> wr;
    EVENT *event;                 // signalled by the writer after writing
    int size;
    char *buffer;
};

PIPE *CreatePipe(int size);
void DeletePipe(PIPE *p);
bool EmptyPipe(const PIPE *p);
bool FullPipe(const PIPE *p);
// Reads exactly n bytes, waiting for them; n < 1 does nothing.
void ReadPipe(PIPE *p, void *buffer, int n);
// Writes exactly n bytes, waiting while the ring is full, then signals the
// event; n < 1 only signals.
void WritePipe(PIPE *p, const void *bytes, int n);
// Drops everything unread; reader side only.
void FlushPipe(PIPE *p);
// Spins briefly (some microseconds) until the pipe holds data; true if it
// does. Lets a waiting side pick up a quick reply without a system call.
bool SpinUntilNotEmpty(const PIPE *p);

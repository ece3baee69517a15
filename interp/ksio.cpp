// Character streams: the primitives that read and write one character on a
// file stream, an unnamed (string) stream or NIL, the routing of the
// standard files to the console, the print helpers on the standard stream
// variables, and the thin file layer over the C library.
#include "interp/ks.h"

#include <string>

// A STREAM keeps one pushed-back code with 0 meaning "none"; a pushed-back
// NUL byte is kept as this marker so that it is not lost.
static constexpr int32_t SAVED_NUL = 0x100;

static bool consolein(FILE *fp) { return fp == stdin || fp == stderr; }
static bool consoleout(FILE *fp) { return fp == stdout || fp == stderr; }

// Appends one character at the tail of an unnamed stream.
static void ustreamappend(node fptr, int ch) {
    ksguard g(&fptr);
    node cell = cons(cvchar(ch), NIL);
    if (gettail(fptr)) rplacd(gettail(fptr), cell);
    else sethead(fptr, cell);
    settail(fptr, cell);
}

static int filegetc(node fptr) {
    int32_t saved = getsavech(fptr);
    if (saved) {
        setsavech(fptr, 0);
        return saved == SAVED_NUL ? 0 : saved;
    }
    FILE *fp = getfile(fptr);
    if (!fp) return -1;                     // closed: nothing more to read
    return consolein(fp) ? ostgetc() : osagetc(fp);
}

int ksgetc(node fptr) {
    if (streamp(fptr)) {
        int ch = filegetc(fptr);
        if (ch == '\n') setlines(fptr, getlines(fptr) + 1);
        return ch;
    }
    if (ustreamp(fptr)) {
        node head = gethead(fptr);
        if (!head) return -1;
        node ch = car(head);
        if (!charp(ch)) ksfail("bad stream");
        sethead(fptr, cdr(head));
        if (!cdr(head)) settail(fptr, NIL);
        return getchcode(ch);
    }
    return -1;                              // NIL (or no stream at all)
}

void ksungetc(node fptr, int ch) {
    if (streamp(fptr)) {
        setsavech(fptr, ch == 0 ? SAVED_NUL : ch);
        if (ch == '\n') setlines(fptr, getlines(fptr) - 1);
    } else if (ustreamp(fptr) && ch != -1) {
        ksguard g(&fptr);
        node cell = cons(cvchar(ch), gethead(fptr));
        if (!gethead(fptr)) settail(fptr, cell);
        sethead(fptr, cell);
    }
}

int kspeek(node fptr) {
    if (streamp(fptr)) {
        int ch = ksgetc(fptr);
        ksungetc(fptr, ch);
        return ch;
    }
    if (ustreamp(fptr)) {
        node head = gethead(fptr);
        if (!head) return -1;
        if (!charp(car(head))) ksfail("bad stream");
        return getchcode(car(head));
    }
    return -1;
}

// A print may never end (a circular list). Output to the console lets a
// user break in while it waits for the front end; all other output does so
// here. Output into memory is bounded: one print puts at most
// PRINT_MEMORY_MAX characters into a string stream and counts at most
// INT32_MAX for a flat size; beyond, it fails as memory does.
constexpr int64_t PRINT_MEMORY_MAX = 1 << 22;

static void boundprint(node fptr) {
    static breakpoll poll;
    poll.tick();
    if (!ksprinting || streamp(fptr)) return;   // files are not bounded here
    int64_t limit = fptr ? PRINT_MEMORY_MAX : INT32_MAX;
    if (++ksprinted > limit) ksfail("insufficient string space");
}

void ksputc(node fptr, int ch) {
    if (!streamp(fptr) || !getfile(fptr) || !consoleout(getfile(fptr))) boundprint(fptr);
    if (ksfsize < INT32_MAX) ++ksfsize;
    if (streamp(fptr)) {
        FILE *fp = getfile(fptr);
        if (!fp) return;                    // closed: the character is dropped
        if (consoleout(fp)) ostputc(ch & 0xff);
        else osaputc(ch, fp);
    } else if (ustreamp(fptr)) {
        ustreamappend(fptr, ch);
    }
}

// Drops the rest of the console input line, with the character the reader
// pushed back onto a console stream: it belongs to that line.
void ksflush() {
    osflush();
    for (node sym : {s_stdin, s_stderr, s_debugio}) {
        node v = getvalue(sym);
        if (streamp(v) && getfile(v) && consolein(getfile(v))) setsavech(v, 0);
    }
}

// ------------------------------------------------ printing on the standard streams

static void printline(node stream_sym, node val) {
    ksguard g(&val);
    node fptr = getvalue(stream_sym);
    ksprint(fptr, val, true);
    ksterpri(fptr);
}

void stdprint(node val) { printline(s_stdout, val); }
void errprint(node val) { printline(s_stderr, val); }
void dbgprint(node val) { printline(s_debugio, val); }

void stdputstr(const char *s) { ksputstr(getvalue(s_stdout), s); }
void errputstr(const char *s) { ksputstr(getvalue(s_stderr), s); }
void dbgputstr(const char *s) { ksputstr(getvalue(s_debugio), s); }
void trcputstr(const char *s) { ksputstr(getvalue(s_traceout), s); }

void trcprin1(node val) {
    ksguard g(&val);
    ksprint(getvalue(s_traceout), val, true);
}

// ------------------------------------------------------------------ file layer

static FILE *osopen(const char *name, const char *mode, char kind) {
    std::string m(mode);
    m += kind;
    return fopen(name, m.c_str());
}

FILE *osaopen(const char *name, const char *mode) { return osopen(name, mode, 't'); }
FILE *osbopen(const char *name, const char *mode) { return osopen(name, mode, 'b'); }
void osclose(FILE *fp) { fclose(fp); }
int osagetc(FILE *fp) { return getc(fp); }
int osbgetc(FILE *fp) { return getc(fp); }
void osaputc(int ch, FILE *fp) { putc(ch, fp); }
void osbputc(int ch, FILE *fp) { putc(ch, fp); }

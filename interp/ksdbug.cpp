// Error reporting, the break loop and the backtrace.
#include "interp/ks.h"

#include <string>

int ksdebug;

void ksdinit() {
    ksdebug = 0;
    kssample = 0;
}

// A batch run has nobody to answer a break loop.
static bool breakenabled() {
    if (!s_breakenable || ksbatch) return false;
    node v = getvalue(s_breakenable);
    return v && v != s_unbound;
}

// "error: MESSAGE - VALUE" (or without the value part) on the error output,
// after "; in FILE line N" while a file is being loaded.
static void printerror(const char *hdr, const char *msg, node val) {
    ksguard g(&val);
    if (ksloading) {
        char line[16];
        snprintf(line, sizeof line, "%u", unsigned(ksloading->line));
        errputstr("; in ");
        errputstr(ksloading->name);
        errputstr(" line ");
        errputstr(line);
        errputstr("\n");
    }
    errputstr(hdr);
    errputstr(": ");
    errputstr(msg);
    if (val != s_unbound) {
        errputstr(" - ");
        ksprint(getvalue(s_stderr), val, true);
    }
    errputstr("\n");
}

void kssignal(const char *msg, node val) {
    for (context *c = kscontext; c; c = c->previous) {
        if (!(c->flags & CTX_ERROR)) continue;
        if (c->key && msg) printerror("error", msg, val);
        ksjump(c, CTX_ERROR, NIL);
    }
}

// Back to the innermost break level; without one (only possible during
// start-up) the interpreter cannot go on.
[[noreturn]] static void tobrklevel() {
    for (context *c = kscontext; c; c = c->previous)
        if (c->flags & CTX_BRKLEVEL) ksjump(c, CTX_BRKLEVEL, NIL);
    ksfatal("fatal initialization error");
}

[[noreturn]] static void errornobreak(const char *msg, node val) {
    kssignal(msg, val);
    printerror("error", msg, val);
    tobrklevel();
}

static int tracelimit() {
    node v = getvalue(s_tlimit);
    return fixp(v) ? getfixnum(v) : -1;
}

// Keeps ksdebug right whichever way a break loop is left.
struct debuglevel {
    debuglevel() { ++ksdebug; }
    ~debuglevel() { if (ksdebug > 0) --ksdebug; }
};

// The forms typed into a break loop are not those of the file being loaded.
struct loadhidden {
    ksloadpos *saved = ksloading;
    loadhidden() { ksloading = nullptr; }
    ~loadhidden() { ksloading = saved; }
};

// Its strings and level counter make every jump out of it an exception.
static void breakloop(const char *hdr, const char *cmsg, const char *msg, node val, bool cont) {
    ksunwindframe unwound;
    ksguard g(&val);
    printerror(hdr, msg, val);
    if (ksbatch) tobrklevel();   // BREAK in a batch run: nobody can continue it
    if (cmsg) {
        std::string s = "if continued: ";
        s += cmsg;
        s += "\n";
        errputstr(s.c_str());
    }
    ksflush();
    node tr = getvalue(s_tracenable);
    if (tr && tr != s_unbound) {
        int lim = tracelimit();
        if (lim != 0) ksbaktrace(lim);
    }
    debuglevel level;
    loadhidden hidden;
    context c;
    ksbegin(&c, CTX_BRKLEVEL | CTX_CONTINUE | CTX_CLEANUP, s_true);
    node expr = NIL, value = NIL;
    ksguard g2(&expr, &value);
    for (;;) {
        try {
            for (;;) {
                std::string prompt = std::to_string(ksdebug) + "> ";
                dbgputstr(prompt.c_str());
                if (!ksread(getvalue(s_debugio), &expr)) {
                    ksend(&c);
                    ksbrklevel();
                }
                ksrdsave(expr);
                value = kseval(expr);
                ksevsave(value);
                dbgprint(value);
                if (ksimage.dispnow) ksimage.dispnow();
            }
        } catch (ksjumpex &j) {
            if (!kscaught(j, &c)) throw;
            if (j.kind == CTX_CONTINUE) {
                if (cont) {
                    dbgputstr("[ continue from break loop ]\n");
                    ksend(&c);
                    return;
                }
                // stay in this loop: the error cannot be continued
                try {
                    kssignal("this error can't be continued", s_unbound);
                    printerror("error", "this error can't be continued", s_unbound);
                } catch (ksjumpex &j2) {
                    if (!kscaught(j2, &c)) throw;
                }
            } else if (j.kind == CTX_CLEANUP) {
                ksend(&c);
                ksbrklevel();
            }
            // CTX_BRKLEVEL: prompt again at this level
        }
    }
}

void kserror(const char *msg, node val) {
    if (breakenabled()) breakloop("error", nullptr, msg, val, false);
    errornobreak(msg, val);
}

void ksfail(const char *msg) { kserror(msg, s_unbound); }

void kscerror(const char *cmsg, const char *msg, node val) {
    if (breakenabled()) {
        breakloop("error", cmsg, msg, val, true);
        return;
    }
    errornobreak(msg, val);
}

void ksbreak(const char *msg, node val) {
    breakloop("break", "return from BREAK", msg, val, true);
}

void ksabort(const char *msg) { errornobreak(msg, s_unbound); }

void ksbaktrace(int n) {
    node *fp = ksfp;
    for (; n != 0 && fp && fp[0]; --n) {
        errputstr("Function: ");
        ksprint(getvalue(s_stderr), fp[1], true);
        errputstr("\n");
        int argc = fixp(fp[2]) ? getfixnum(fp[2]) : 0;
        if (argc > 0) {
            errputstr("Arguments:\n");
            for (int i = 0; i < argc; ++i) {
                errputstr("  ");
                ksprint(getvalue(s_stderr), fp[3 + i], true);
                errputstr("\n");
            }
        }
        fp -= getfixnum(fp[0]);
    }
}

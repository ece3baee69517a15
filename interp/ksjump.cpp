// Contexts and non-local exits.
//
// A jump is a C++ exception (ksjumpex) naming its landing context. The
// frame that established the context catches it, compares the target with
// its own record and calls ksrestore, which puts the interpreter's state
// (stacks, environments, dynamic bindings) back as it was at ksbegin. Every
// C++ frame in between is unwound normally, so destructors (scratch memory,
// ksguard) always run.
#include "ks.h"

context *kscontext;
context *kstarget;
int ksmask;

void ksbegin(context *c, int flags, node key) {
    c->flags = flags;
    c->key = key;
    c->previous = kscontext;
    c->saved_stack = ksstack;
    c->saved_argv = ksargv;
    c->saved_argc = ksargc;
    c->saved_fp = ksfp;
    c->saved_sp = kssp;
    c->saved_env = ksenv;
    c->saved_fenv = ksfenv;
    c->saved_denv = ksdenv;
    kscontext = c;
}

void ksend(context *c) { kscontext = c->previous; }

void ksstkreserve();

void ksrestore(context *c) {
    kscontext = c;
    ksstkreserve();
    ksstack = c->saved_stack;
    ksenv = c->saved_env;
    ksfenv = c->saved_fenv;
    while (ksdenv && ksdenv != c->saved_denv) {
        node pair = car(ksdenv);
        setvalue(car(pair), cdr(pair));
        ksdenv = cdr(ksdenv);
    }
    ksargv = c->saved_argv;
    ksargc = c->saved_argc;
    ksfp = c->saved_fp;
    kssp = c->saved_sp;
}

void ksjump(context *c, int kind, node val) {
    context *land = c;
    // An UNWIND-PROTECT between here and the target takes the jump first; it
    // resumes it after its clean-up forms.
    for (context *p = kscontext; p && p != c; p = p->previous) {
        if (p->flags & CTX_UNWIND) {
            kstarget = c;
            ksmask = kind;
            land = p;
            kind = CTX_UNWIND;
            break;
        }
    }
    ksvalue = val;
    kscontext = land;
    throw ksjumpex{land, kind};
}

void ksthrow(node tag, node val) {
    for (context *c = kscontext; c; c = c->previous)
        if ((c->flags & CTX_THROW) && c->key == tag) ksjump(c, CTX_THROW, val);
    kserror("no target for THROW", tag);
}

void ksreturn(node name, node val) {
    for (context *c = kscontext; c; c = c->previous)
        if ((c->flags & CTX_RETURN) && c->key == name) ksjump(c, CTX_RETURN, val);
    kserror("no target for RETURN", name);
}

void ksgo(node label) {
    for (context *c = kscontext; c; c = c->previous) {
        if (!(c->flags & CTX_GO)) continue;
        for (int i = 0; i < c->saved_argc; ++i) {
            if (c->saved_argv[i] == label) {
                c->saved_argv += i + 1;
                c->saved_argc -= i + 1;
                ksjump(c, CTX_GO, NIL);
            }
        }
    }
    kserror("no target for GO", label);
}

void findandjump(int kind, const char *msg) {
    for (context *c = kscontext; c; c = c->previous)
        if (c->flags & kind) ksjump(c, kind, NIL);
    ksabort(msg);
}

void kstoplevel(int print) {
    if (print) stdputstr("[ back to top level ]\n");
    findandjump(CTX_TOPLEVEL, "no top level");
}

void kscontinue() { findandjump(CTX_CONTINUE, "not in a break loop"); }

void kscleanup() {
    stdputstr("[ back to previous break level ]\n");
    findandjump(CTX_CLEANUP, "not in a break loop");
}

void ksbrklevel() { findandjump(CTX_BRKLEVEL, "no previous break level"); }

// Contexts and non-local exits.
//
// A jump names its landing context; ksrestore then puts the interpreter's
// state (stacks, environments, dynamic bindings) back as it was at ksbegin.
// It travels one of two ways:
// - by longjmp, when the context was set up with ksrun and no frame in
//   between holds anything to destroy: ksunwindframes is the same as when
//   the context began. The frames passed are the evaluator's and the PLAIN
//   built-ins', whose only destructors are ksguard records, and resetting
//   the evaluation stack does what those would do. This costs a fraction of
//   a microsecond.
// - as a C++ exception (ksjumpex) otherwise: the establishing frame catches
//   it and every frame in between is unwound normally, so destructors
//   (scratch memory, nesting counters, file handles) run.
// Top-level and break-loop contexts only ever take exceptions.
#include "interp/ks.h"

context *kscontext;
context *kstarget;
int ksmask;
int ksunwindframes;

// Built-ins whose frames keep nothing to destroy but ksguard records while
// they may jump, and that call nothing with such frames except through
// another built-in, the evaluator or the error functions (a break loop holds
// a ksunwindframe): the control forms, binding and assignment, calls,
// errors, list basics and arithmetic. Every other built-in runs inside a
// ksunwindframe (see callsubr). Review a function's frame before adding it.
node xcond(); node xwhen(); node xunless(); node xif(); node xand(); node xlor();
node xcase(); node xprogn(); node xprog1(); node xprog2(); node xblock();
node xreturn(); node xrtnfrom(); node xtagbody(); node xgo(); node xloop();
node xprog(); node xprogstar(); node xdo(); node xdostar(); node xdotimes();
node xdolist(); node xcatch(); node xthrow(); node xerrset();
node xunwindprotect(); node xprogv();
node xquote(); node xfunction(); node xsetq(); node xlet(); node xletstar();
node xeval(); node xapply(); node xfuncall(); node xerror(); node xcerror();
node xcar(); node xcdr(); node xcons(); node xlist(); node xeq(); node xeql();
node xnull(); node xconsp();
node xadd(); node xsub(); node xmul(); node xdiv(); node xrem(); node xmin();
node xmax(); node xabs(); node xlss(); node xleq(); node xequ(); node xneq();
node xgeq(); node xgtr(); node xadd1(); node xsub1(); node xminusp();
node xzerop(); node xplusp(); node xevenp(); node xoddp();

static const subrfn plainsubrs[] = {
    xcond, xwhen, xunless, xif, xand, xlor, xcase, xprogn, xprog1, xprog2,
    xblock, xreturn, xrtnfrom, xtagbody, xgo, xloop, xprog, xprogstar, xdo,
    xdostar, xdotimes, xdolist, xcatch, xthrow, xerrset, xunwindprotect,
    xprogv,
    xquote, xfunction, xsetq, xlet, xletstar,
    xeval, xapply, xfuncall, xerror, xcerror,
    xcar, xcdr, xcons, xlist, xeq, xeql, xnull, xconsp,
    xadd, xsub, xmul, xdiv, xrem, xmin, xmax, xabs, xlss, xleq, xequ, xneq,
    xgeq, xgtr, xadd1, xsub1, xminusp, xzerop, xplusp, xevenp, xoddp,
};

bool ksplainsubr(subrfn fn) {
    for (subrfn p : plainsubrs)
        if (p == fn) return true;
    return false;
}

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
    c->saved_unwindframes = ksunwindframes;
    c->landing = nullptr;
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
    ksunwindframes = c->saved_unwindframes;
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
    if (land->landing && land->saved_unwindframes == ksunwindframes) _longjmp(*land->landing, kind);
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
